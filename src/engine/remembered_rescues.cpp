// SPDX-License-Identifier: GPL-3.0-or-later
#include "remembered_rescues.h"

namespace brindlecap {

using Status = RescueMap::Status;

FileStart RememberedRescues::startFile(const FileOutcome& file, const SourceFacts& source)
{
    m_destination = file.destination;
    m_current = &m_rescues[file.destination];
    auto& rescue = *m_current;
    if (!stillHolds(file.destination, rescue, source)) {
        rescue = {source, RescueMap(source.length), std::nullopt, {}};
        return {};
    }
    FileStart start;
    start.rescued = rescue.map.rangesWith(Status::finished);
    start.foundBad = unionOf(rescue.map.rangesWith(Status::badSector),
                             rescue.map.rangesWith(Status::nonScraped));
    return start;
}

bool RememberedRescues::stillHolds(const std::string& destination, const Rescue& rescue,
                                   const SourceFacts& source)
{
    if (!rescue.copy || rescue.source.identity != source.identity ||
        rescue.source.length != source.length || rescue.source.modified != source.modified)
        return false;
    // A write-back that failed since leaves the rescued parts lost, though
    // the copy looks the same.
    CopyFacts facts;
    return !m_files.syncCopy(destination, *rescue.copy) &&
           !m_files.examineCopy(destination, *rescue.copy, facts) && facts == rescue.facts;
}

void RememberedRescues::chunkMoved(const ChunkOutcome& chunk)
{
    if (m_current == nullptr)
        return;
    auto& rescue = *m_current;
    if (chunk.copy != FileIdentity{})
        rescue.copy = chunk.copy;
    rescue.map.markAll(chunk.finished, Status::finished);
    rescue.map.markAll(chunk.bad, Status::badSector);
    rescue.map.markAll(chunk.presumed, Status::nonScraped);
    // How the copy looks now that this job's chunk is in it: anything that
    // changes it later makes it a copy nothing is known of.
    if (rescue.copy && m_files.examineCopy(m_destination, *rescue.copy, rescue.facts))
        rescue.copy.reset();
}

} // namespace brindlecap
