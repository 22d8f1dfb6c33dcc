// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_catalogue.h"
#include "forwarding_file_access.h"
#include "read_pieces.h"

#include <map>
#include <string>

namespace brindlecap {

// A disc whose files are copied without the system's listing: the image or
// drive, and what its trees list.
struct DiscSource
{
    std::string path; // the image or the drive, as named
    SourceFacts facts;
    DiscCatalogue catalogue;
    // With a map of the image from GNU ddrescue: what it does not mark
    // rescued, in order (ddrescue left zeros there).
    std::optional<std::vector<ByteRange>> notRescued;

    // How a file of the disc is named as a source: the disc, a colon, and
    // its path inside the disc.
    std::string sourceName(const DiscFile& file) const { return path + ":/" + file.path; }
};

// Reads the files of a disc as though they were files: a source named as
// DiscSource::sourceName names it is read from its extents on the disc,
// through the file access beneath, with all its salvage, and the disc is
// only ever opened as the file it was when it was listed. Every other call
// is handed on.
class DiscFileAccess final : public ForwardingFileAccess
{
public:
    explicit DiscFileAccess(FileAccess& files) : ForwardingFileAccess(files) {}

    // From now on, the disc's files are sources; the disc must outlive this.
    void serve(const DiscSource& disc);

    std::error_code examineSource(const std::string& path, SourceFacts& facts) const override;
    std::error_code identify(const std::string& path, FileIdentity& identity) const override;
    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override;
    std::error_code close() override;

private:
    const DiscFile* fileAt(const std::string& path) const;
    // A read of the open disc file from its extents, through `read`
    // beneath; any other file's read is handed on to it as it is.
    ReadResult served(std::int64_t offset, std::span<std::byte> buffer, const PieceRead& read);

    const DiscSource* m_disc = nullptr;
    std::map<std::string, const DiscFile*> m_files;
    const DiscFile* m_open = nullptr;
};

} // namespace brindlecap
