// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brindlecap::testing {

using Bytes = std::vector<std::byte>;

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchDir final
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Bytes that differ from position to position, so a byte out of place shows.
Bytes patternBytes(std::size_t size, std::uint8_t seed = 1);
void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

} // namespace brindlecap::testing
