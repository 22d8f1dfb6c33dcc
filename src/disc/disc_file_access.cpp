// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_file_access.h"

#include "copy_error.h"

#include <algorithm>

namespace brindlecap {

namespace {

// Copies are made writable by their owner whatever the disc says, so that a
// later run can fill them in: a disc's files are read-only to everyone.
constexpr unsigned copiedPermissions = 0644;

} // namespace

void DiscFileAccess::serve(const DiscSource& disc)
{
    m_disc = &disc;
    m_files.clear();
    for (const auto& file : disc.catalogue.files)
        m_files.emplace(disc.sourceName(file), &file);
}

const DiscFile* DiscFileAccess::fileAt(const std::string& path) const
{
    const auto found = m_files.find(path);
    return found == m_files.end() ? nullptr : found->second;
}

std::error_code DiscFileAccess::examineSource(const std::string& path, SourceFacts& facts) const
{
    const auto* file = fileAt(path);
    if (file == nullptr)
        return ForwardingFileAccess::examineSource(path, facts);
    // The disc must still be the one that was listed: another image put
    // where it was has other files at those places.
    SourceFacts disc;
    if (const auto error = ForwardingFileAccess::examineSource(m_disc->path, disc))
        return error;
    if (disc.identity != m_disc->facts.identity)
        return CopyError::sourceReplaced;
    facts.length = file->size;
    facts.identity = disc.identity;
    facts.permissions = copiedPermissions;
    facts.modified = file->modified;
    return {};
}

std::error_code DiscFileAccess::identify(const std::string& path, FileIdentity& identity) const
{
    if (fileAt(path) == nullptr)
        return ForwardingFileAccess::identify(path, identity);
    identity = m_disc->facts.identity;
    return {};
}

std::error_code DiscFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    const auto* file = fileAt(path);
    if (file == nullptr)
        return ForwardingFileAccess::openSource(path, expected);
    if (expected != m_disc->facts.identity)
        return CopyError::sourceReplaced;
    if (const auto error = ForwardingFileAccess::openSource(m_disc->path, expected))
        return error;
    m_open = file;
    return {};
}

ReadResult DiscFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::readAt(at, part); });
}

ReadResult DiscFileAccess::skimAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::skimAt(at, part); });
}

ReadResult DiscFileAccess::scrapeAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::scrapeAt(at, part); });
}

std::error_code DiscFileAccess::close()
{
    m_open = nullptr;
    return ForwardingFileAccess::close();
}

ReadResult DiscFileAccess::served(std::int64_t offset, std::span<std::byte> buffer,
                                  const PieceRead& read)
{
    if (m_open == nullptr)
        return read(offset, buffer);
    const auto wanted = std::clamp<std::int64_t>(m_open->size - offset, 0,
                                                 static_cast<std::int64_t>(buffer.size()));
    std::vector<ReadPiece> pieces;
    std::int64_t extentStart = 0; // where the extent starts in the file
    for (const auto& extent : m_open->extents) {
        const auto into = offset - extentStart;
        const auto from = std::max<std::int64_t>(into, 0);
        const auto length = std::min(extent.length - from, wanted + into - from);
        if (length > 0)
            pieces.push_back({from - into, extent.offset + from, length, false, extent.zeros});
        extentStart += extent.length;
    }
    // A file whose extents end before its length (a descriptor not read):
    // the rest is not there to be read.
    const auto covered = pieces.empty() ? 0 : pieces.back().into + pieces.back().length;
    if (covered < wanted)
        pieces.push_back({covered, 0, wanted - covered, true});
    return readPieces(pieces, buffer.first(static_cast<std::size_t>(wanted)), read);
}

} // namespace brindlecap
