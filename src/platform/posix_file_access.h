// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "descriptor_reads.h"
#include "file_access.h"
#include "folder_tree.h"
#include "regular_file_open.h"
#include "sector_salvage.h"
#include "unique_fd.h"
#include "written_copy.h"

#include <functional>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace brindlecap {

// File access on Linux with 64-bit positions.
class PosixFileAccess final : public FileAccess
{
public:
    std::error_code examineSource(const std::string& path, SourceFacts& facts) const override;
    std::error_code identify(const std::string& path, FileIdentity& identity) const override;
    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    std::error_code openDestination(const std::string& path, std::optional<FileIdentity>& identity,
                                    unsigned permissions,
                                    std::span<const FileIdentity> forbidden) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override;
    WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                        std::span<const ByteRange> skip) override;
    std::error_code examineCopy(const std::string& path, const FileIdentity& written,
                                CopyFacts& facts) const override;
    std::error_code syncCopy(const std::string& path, const FileIdentity& written) override;
    std::error_code cutTo(std::int64_t length) override;
    std::error_code setModificationTime(FileTime time) override;
    std::error_code close() override;

    // Asked between two reads of a damaged chunk: yes ends the read there
    // (operation_canceled), so a stop asked for waits for one read at most.
    void setStopCheck(std::function<bool()> check) { m_stopRequested = std::move(check); }
    // Sources that `sources` holds are reached through it, a symbolic link
    // only to a file of the tree; copies that `copies` holds through it,
    // never through a link. Null, or a path the tree does not hold: the
    // path is taken as it is.
    void readThrough(FolderTree* sources) { m_sources = sources; }
    void writeThrough(FolderTree* copies) { m_copies = copies; }
    // Closing a source keeps its descriptor, and opening the same file
    // again takes it up once its name still leads to that file: the
    // kernel's read-ahead goes on from one chunk to the next (a fresh
    // descriptor starts without it, and a FUSE medium drops its cache at
    // every open). Any other open source lets it go.
    void keepSourceOpen(bool keep) { m_keepSource = keep; }
    // The sources' sector, as the user gave it (512 to 4096); 0: learnt.
    void setSectorSize(std::int64_t bytes) { m_sectorSize = bytes; }
    // A block device (a drive, a disc read whole) is a source too.
    void readBlockDevices(bool read)
    {
        m_sourceKinds = read ? SourceKinds::regularFileOrBlockDevice : SourceKinds::regularFile;
    }

private:
    ReadResult salvage(std::int64_t offset, std::span<std::byte> buffer, StretchSearch search);
    std::error_code lookUpSource(const NamePlace& place, const std::string& path,
                                 struct stat& status) const;
    std::error_code stillNamed(const NamePlace& place, const std::string& path,
                               const FileIdentity& expected) const;
    void letKeptSourceGo();
    std::error_code openCopy(const std::string& path, const FileIdentity& written,
                             WrittenCopy& into) const;

    FolderTree* m_sources = nullptr;
    FolderTree* m_copies = nullptr;
    UniqueFd m_slot;
    bool m_slotIsSource = false;
    bool m_keepSource = false;
    std::int64_t m_sectorSize = 0;
    SourceKinds m_sourceKinds = SourceKinds::regularFile;
    UniqueFd m_keptSource;
    // The source examineSource opened last, for openSource to take.
    mutable UniqueFd m_examined;
    mutable FileIdentity m_examinedFile;
    bool m_randomAdvised = false; // read-ahead off on the source's descriptor
    // The open (or kept) source's way past the page cache, opened when
    // first needed.
    std::optional<SalvageProbe> m_probe;
    // What the bad stretches' edges told of each device's sector.
    std::map<std::uint64_t, SectorEvidence> m_sectorEvidence;
    // What reading the last chunk of a source tells about its next chunk.
    struct LastChunk
    {
        FileIdentity file;
        SalvageTrail salvage;         // what its bad stretches showed
        std::int64_t damagedEnd = -1; // it had unreadable bytes, and ended here
    } m_last;
    std::function<bool()> m_stopRequested;
};

} // namespace brindlecap
