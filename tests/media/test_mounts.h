// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace brindlecap::testing {

// One read request as the medium saw it: `result` is the bytes it served,
// or the negated errno it failed with.
struct MediumRead
{
    std::int64_t offset = 0;
    std::int64_t size = 0;
    std::int64_t result = 0;
};

// The failing disc of faulty_medium.cpp, mounted in a folder for as long as
// the object lives. `description` is the medium's description file's text.
class MountedMedium final
{
public:
    MountedMedium(const std::filesystem::path& where, const std::string& description);
    ~MountedMedium();
    MountedMedium(const MountedMedium&) = delete;
    MountedMedium& operator=(const MountedMedium&) = delete;

    // Empty when mounted; else what is missing, for the skip message.
    const std::string& unavailable() const { return m_unavailable; }
    std::string path(const std::string& name) const { return (m_mountPoint / name).string(); }
    // The disc's damage from the next read on is what `description` says
    // (its failing stretches; its files stay as they are).
    void redescribe(const std::string& description) const;
    // What the medium saw that it should never see: opens for writing.
    std::string writeAttempts() const;
    // Every read request so far, in order.
    std::vector<MediumRead> reads() const;
    long failingReads() const;

private:
    std::filesystem::path m_mountPoint;
    std::filesystem::path m_log;
    std::filesystem::path m_description;
    pid_t m_server = -1;
    std::string m_unavailable;
};

// A tmpfs of a given size mounted in a folder, read-only if asked, for as
// long as the object lives (needs the right to mount: root, here).
class MountedTmpfs final
{
public:
    MountedTmpfs(const std::filesystem::path& where, std::uint64_t bytes, bool readOnly = false);
    ~MountedTmpfs();
    MountedTmpfs(const MountedTmpfs&) = delete;
    MountedTmpfs& operator=(const MountedTmpfs&) = delete;

    const std::string& unavailable() const { return m_unavailable; }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_unavailable;
    bool m_mounted = false;
};

} // namespace brindlecap::testing
