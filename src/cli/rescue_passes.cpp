// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_passes.h"

#include <optional>
#include <vector>

namespace brindlecap {

namespace {

using Status = RescueMap::Status;

class Passes final
{
public:
    Passes(FileAccess& files, MapRecord& record, const FileOutcome& file,
           const std::function<bool()>& stopRequested)
        : m_files(files), m_record(record), m_file(file), m_stopRequested(stopRequested)
    {}

    bool run(int retries)
    {
        const auto unscraped = map().rangesWith(Status::nonScraped);
        // Bad sectors are tried again only once earlier runs tried all of it.
        const bool retrying = retries > 0 && m_record.wasTriedThrough(m_file.destination);
        if (unscraped.empty() && (!retrying || map().bytesWith(Status::badSector) == 0))
            return true; // nothing to try: the source is not even looked at
        if (m_files.examineSource(m_file.source, m_source) || m_source.length != map().size() ||
            m_files.identify(m_file.destination, m_copy))
            return true; // the source or its copy changed: nothing to go on with
        if (!tryAll(unscraped, Status::nonScraped, 1))
            return false;
        for (int pass = 1; retrying && pass <= retries; ++pass)
            if (!tryAll(map().rangesWith(Status::badSector), Status::badSector, pass))
                return false;
        map().currentStatus = Status::finished;
        return true;
    }

private:
    RescueMap& map() { return *m_record.mapOf(m_file.destination); }

    bool tryAll(const std::vector<ByteRange>& ranges, Status pass, int number)
    {
        map().currentStatus = pass;
        map().currentPass = number;
        for (const auto& range : ranges)
            if (!tryRange(range))
                return false;
        return true;
    }

    struct Piece
    {
        ByteRange range;
        std::vector<std::byte> bytes;
    };

    // Reads a range sector by sector, then writes what read.
    bool tryRange(ByteRange range)
    {
        std::vector<Piece> read;
        bool stopped = false;
        if (!m_files.openSource(m_file.source, m_source.identity)) {
            const auto sector = std::max<std::int64_t>(m_files.sectorSize(), 1);
            for (auto at = range.offset; at < range.end();) {
                if (m_stopRequested && m_stopRequested()) {
                    stopped = true;
                    break;
                }
                const auto end = std::min(range.end(), (at / sector + 1) * sector);
                std::vector<std::byte> bytes(static_cast<std::size_t>(end - at));
                const auto got = m_files.readSectors(at, bytes);
                if (got.error || got.bytes < end - at)
                    m_record.mark(m_file.destination, {at, end - at}, Status::badSector);
                else
                    read.push_back({{at, end - at}, std::move(bytes)});
                at = end;
            }
        }
        m_files.close();
        write(read);
        return !stopped;
    }

    void write(const std::vector<Piece>& pieces)
    {
        if (pieces.empty())
            return;
        std::optional<FileIdentity> copy = m_copy;
        const FileIdentity forbidden[] = {m_source.identity};
        if (!m_files.openDestination(m_file.destination, copy, m_source.permissions, forbidden)) {
            for (const auto& piece : pieces)
                if (!m_files.writeAt(piece.range.offset, piece.bytes, {}).error)
                    m_record.mark(m_file.destination, piece.range, Status::finished);
        }
        m_files.close();
    }

    FileAccess& m_files;
    MapRecord& m_record;
    const FileOutcome& m_file;
    const std::function<bool()>& m_stopRequested;
    SourceFacts m_source;
    FileIdentity m_copy;
};

} // namespace

bool runRescuePasses(FileAccess& files, MapRecord& record, const FileOutcome& file, int retries,
                     const std::function<bool()>& stopRequested)
{
    if (record.mapOf(file.destination) == nullptr || file.status() == FileStatus::notCopied)
        return true;
    const bool done = Passes(files, record, file, stopRequested).run(retries);
    record.save(file.destination);
    return done;
}

void applyMap(FileOutcome& file, const RescueMap& map)
{
    const auto error =
        file.firstReadError ? file.firstReadError : std::make_error_code(std::errc::io_error);
    // A stopped file's untried rest is not unreadable: nobody tried it.
    auto unreadable = map.rangesWithout(Status::finished);
    if (!file.finished)
        unreadable = rangesOutside(unreadable, map.rangesWith(Status::nonTried));
    file.unreadable.clear();
    file.unreadableBytes = 0;
    file.firstReadError = {};
    for (const auto& range : unreadable)
        file.addUnreadable(range, error);
    const auto kept = rangesOutside(file.keptEarlier, map.rangesWith(Status::finished));
    file.keptEarlier.clear();
    file.keptEarlierBytes = 0;
    for (const auto& range : kept)
        file.addKeptEarlier(range);
}

} // namespace brindlecap
