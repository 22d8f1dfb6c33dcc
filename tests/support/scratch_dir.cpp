// SPDX-License-Identifier: GPL-3.0-or-later
#include "scratch_dir.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>

namespace brindlecap::testing {

ScratchDir::ScratchDir()
{
    auto pattern = (std::filesystem::temp_directory_path() / "brindlecap-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch folder");
    m_path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

Bytes patternBytes(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        // Never zero, so zeros written for unreadable bytes are told apart.
        bytes[i] = static_cast<std::byte>(1 + (i * 31 + i / 251 + seed) % 255);
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    file.seekg(0, std::ios::end);
    Bytes bytes(static_cast<std::size_t>(file.tellg()));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

} // namespace brindlecap::testing
