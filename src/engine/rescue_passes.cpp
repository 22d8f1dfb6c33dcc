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
    Passes(FileAccess& files, RescueLedger& record, const FileOutcome& file,
           const std::function<bool()>& stopRequested)
        : m_files(files), m_record(record), m_file(file), m_stopRequested(stopRequested)
    {}

    bool scrape()
    {
        const auto unscraped = map().rangesWith(Status::nonScraped);
        return unscraped.empty() || !prepare() || tryAll(unscraped, Status::nonScraped, 1);
    }

    bool retry(int retries)
    {
        // Bad sectors are tried again only once earlier runs tried all of it.
        const bool retrying = retries > 0 && m_record.wasTriedThrough(m_file.destination) &&
                              map().bytesWith(Status::badSector) > 0;
        if (retrying && prepare()) {
            for (int pass = 1; pass <= retries; ++pass)
                if (!tryAll(map().rangesWith(Status::badSector), Status::badSector, pass))
                    return false;
        }
        m_record.markFinished(m_file.destination);
        return true;
    }

private:
    RescueMap& map() { return *m_record.mapOf(m_file.destination); }

    // Looks at the source and the copy before a pass reads anything; false
    // where either changed, and there is nothing to go on with. Only what
    // has something to try gets here: else the source is not even looked at.
    bool prepare()
    {
        // The copy the map describes, by the file that was written, never by
        // its name looked up again.
        const auto copy = m_record.copyOf(m_file.destination);
        if (!copy || m_files.examineSource(m_file.source, m_source) ||
            m_source.length != map().size())
            return false;
        m_copy = *copy;
        return true;
    }

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

    // Reads a range sector by sector, a bounded piece at a time, then writes
    // what read.
    bool tryRange(ByteRange range)
    {
        constexpr std::int64_t pieceBytes = 1 << 20;
        std::vector<Piece> read;
        bool stopped = false;
        if (!m_files.openSource(m_file.source, m_source.identity)) {
            for (auto at = range.offset; at < range.end();) {
                if (m_stopRequested && m_stopRequested()) {
                    stopped = true;
                    break;
                }
                Piece piece{{at, std::min(pieceBytes, range.end() - at)}, {}};
                piece.bytes.resize(static_cast<std::size_t>(piece.range.length));
                const auto got = m_files.scrapeAt(at, piece.bytes);
                for (const auto& bad : got.unreadable)
                    m_record.markBad(m_file.destination, {at + bad.offset, bad.length},
                                     Status::badSector);
                for (const auto& good : gapsBetween(got.unreadable, got.bytes))
                    read.push_back(
                        {{at + good.offset, good.length},
                         {piece.bytes.begin() + good.offset, piece.bytes.begin() + good.end()}});
                // Stopped, a medium gone or the end of the file: the rest of
                // the range stays as the map has it.
                stopped = got.error == std::errc::operation_canceled;
                if (got.bytes < piece.range.length)
                    break;
                at = piece.range.end();
            }
        }
        m_files.close();
        write(read);
        return !stopped;
    }

    // Writes what read; it counts once the copy is closed without an error,
    // and is rescued once the next save has put it on the disk. What did not
    // reach the copy is reported not written, and stays as it was in the map
    // for the next run to read again.
    void write(const std::vector<Piece>& pieces)
    {
        if (pieces.empty())
            return;
        std::optional<FileIdentity> copy = m_copy;
        const FileIdentity forbidden[] = {m_source.identity};
        std::vector<ByteRange> written;
        auto error =
            m_files.openDestination(m_file.destination, copy, m_source.permissions, forbidden);
        for (const auto& piece : pieces) {
            const auto put = error ? std::error_code()
                                   : m_files.writeAt(piece.range.offset, piece.bytes, {}).error;
            if (error || put)
                m_record.markNotWritten(m_file.destination, piece.range, error ? error : put);
            else
                written.push_back(piece.range);
        }
        // Written into, the copy takes its source's time again.
        if (!error)
            m_files.setModificationTime(m_source.modified);
        const auto closed = m_files.close();
        for (const auto& range : written) {
            if (closed)
                m_record.markNotWritten(m_file.destination, range, closed);
            else
                m_record.markWritten(m_file.destination, range, m_copy);
        }
    }

    FileAccess& m_files;
    RescueLedger& m_record;
    const FileOutcome& m_file;
    const std::function<bool()>& m_stopRequested;
    SourceFacts m_source;
    FileIdentity m_copy;
};

} // namespace

namespace {

template <typename Pass> bool runPass(RescueLedger& record, const FileOutcome& file, Pass pass)
{
    if (record.mapOf(file.destination) == nullptr || file.status() == FileStatus::notCopied)
        return true;
    const bool finished = pass();
    record.saveIfDue();
    return finished;
}

} // namespace

bool scrapeFile(FileAccess& files, RescueLedger& record, const FileOutcome& file,
                const std::function<bool()>& stopRequested)
{
    return runPass(record, file,
                   [&] { return Passes(files, record, file, stopRequested).scrape(); });
}

bool retryFile(FileAccess& files, RescueLedger& record, const FileOutcome& file, int retries,
               const std::function<bool()>& stopRequested)
{
    return runPass(record, file,
                   [&] { return Passes(files, record, file, stopRequested).retry(retries); });
}

} // namespace brindlecap
