// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scratch_dir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap::testing {

// What a folder holds, all the way down, to show afterwards that a copy
// changed nothing in it: names, kinds, sizes, times and bytes.
class FolderSnapshot
{
public:
    explicit FolderSnapshot(const std::filesystem::path& folder)
        : m_folder(folder), m_entries(take(folder))
    {}
    void expectUnchanged() const { EXPECT_EQ(take(m_folder), m_entries) << m_folder; }

private:
    using Entries = std::map<std::string, std::string>;
    static Entries take(const std::filesystem::path& folder)
    {
        Entries entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            struct stat status
            {};
            ::lstat(entry.path().c_str(), &status);
            auto& about = entries[entry.path().lexically_relative(folder).string()];
            about = std::to_string(status.st_mode) + " " + std::to_string(status.st_size) + " " +
                    std::to_string(status.st_mtim.tv_sec) + "." +
                    std::to_string(status.st_mtim.tv_nsec);
            if (S_ISREG(status.st_mode) && ::access(entry.path().c_str(), R_OK) == 0) {
                const auto bytes = readFile(entry.path().string());
                about += " " + std::to_string(std::hash<std::string_view>{}(std::string_view(
                                   reinterpret_cast<const char*>(bytes.data()), bytes.size())));
            }
        }
        return entries;
    }

    std::filesystem::path m_folder;
    Entries m_entries;
};

} // namespace brindlecap::testing
