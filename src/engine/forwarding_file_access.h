// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <functional>
#include <type_traits>

namespace brindlecap {

// File access that hands every call on to another one. A class that watches
// or changes a few of the calls derives from it and overrides just those; one
// that runs the calls somewhere else overrides `hand`, which each goes through.
class ForwardingFileAccess : public FileAccess
{
public:
    explicit ForwardingFileAccess(FileAccess& files) : m_files(files) {}

    std::error_code examineSource(const std::string& path, SourceFacts& facts) const override
    {
        return forward([&] { return m_files.examineSource(path, facts); });
    }
    std::error_code identify(const std::string& path, FileIdentity& identity) const override
    {
        return forward([&] { return m_files.identify(path, identity); });
    }
    std::error_code openSource(const std::string& path, const FileIdentity& expected) override
    {
        return forward([&] { return m_files.openSource(path, expected); });
    }
    std::error_code openDestination(const std::string& path, std::optional<FileIdentity>& identity,
                                    unsigned permissions,
                                    std::span<const FileIdentity> forbidden) override
    {
        return forward(
            [&] { return m_files.openDestination(path, identity, permissions, forbidden); });
    }
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        return forward([&] { return m_files.readAt(offset, buffer); });
    }
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        return forward([&] { return m_files.skimAt(offset, buffer); });
    }
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        return forward([&] { return m_files.scrapeAt(offset, buffer); });
    }
    WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                        std::span<const ByteRange> skip) override
    {
        return forward([&] { return m_files.writeAt(offset, buffer, skip); });
    }
    std::error_code examineCopy(const std::string& path, const FileIdentity& written,
                                CopyFacts& facts) const override
    {
        return forward([&] { return m_files.examineCopy(path, written, facts); });
    }
    std::error_code syncCopy(const std::string& path, const FileIdentity& written) override
    {
        return forward([&] { return m_files.syncCopy(path, written); });
    }
    std::error_code cutTo(std::int64_t length) override
    {
        return forward([&] { return m_files.cutTo(length); });
    }
    std::error_code setModificationTime(FileTime time) override
    {
        return forward([&] { return m_files.setModificationTime(time); });
    }
    std::error_code close() override
    {
        return forward([&] { return m_files.close(); });
    }

protected:
    // Runs one call on the other file access; here, at once.
    virtual void hand(const std::function<void()>& call) const { call(); }

private:
    template <typename Call> std::invoke_result_t<Call> forward(Call call) const
    {
        std::invoke_result_t<Call> result{};
        hand([&] { result = call(); });
        return result;
    }

    FileAccess& m_files;
};

} // namespace brindlecap
