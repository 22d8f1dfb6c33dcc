// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "rescue_map.h"
#include "rescue_record.h"

#include <map>
#include <optional>
#include <string>

namespace brindlecap {

// What a program keeps in memory of the copies it made while it runs (the
// window keeps nothing between runs): copying the same source into the same
// copy again reads only what is still missing. The rescued parts are left
// alone; the parts found bad are read again sector by sector, the insides
// of long bad stretches that were only presumed bad included. What it knows
// of a copy holds only while the copy is the file written, unchanged since
// (by anyone), on the disk, and the source is the same file as before.
class RememberedRescues final : public RescueRecord
{
public:
    explicit RememberedRescues(FileAccess& files) : m_files(files) {}

    FileStart startFile(const FileOutcome& file, const SourceFacts& source) override;
    void chunkMoved(const ChunkOutcome& chunk) override;

private:
    struct Rescue
    {
        SourceFacts source;
        RescueMap map;
        std::optional<FileIdentity> copy; // set once it was written
        CopyFacts facts;                  // the copy after its last chunk
    };

    bool stillHolds(const std::string& destination, const Rescue& rescue,
                    const SourceFacts& source);

    FileAccess& m_files;
    std::map<std::string, Rescue> m_rescues; // by the copy's name
    std::string m_destination;               // the file the job is on
    Rescue* m_current = nullptr;
};

} // namespace brindlecap
