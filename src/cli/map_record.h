// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rescue_map.h"
#include "rescue_record.h"

#include <chrono>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace brindlecap {

// Keeps a rescue map for each destination file, in a hidden folder beside it
// (FOLDER/.brindlecap/NAME.map), and tells the copy job what earlier runs
// did: what they rescued, and the bad stretches left to the later passes, is
// not read again by the copy pass. A map that does not match its source (its
// size or modification time) or its copy is not trusted: that file starts
// afresh. A map is saved every few seconds, and only once the copy's data
// it describes is on the disk.
class MapRecord final : public RescueRecord
{
public:
    // `enabled` false (--no-map): nothing is read or written, every file
    // starts afresh. Messages about maps go to `messages`.
    MapRecord(bool enabled, std::string commandLine, std::ostream& messages);

    std::vector<ByteRange> startFile(const FileOutcome& file, const SourceFacts& source) override;
    void chunkMoved(const ChunkOutcome& chunk) override;

    // The map of the copy at `destination`, or null when it has none.
    RescueMap* mapOf(const std::string& destination);
    // Whether earlier runs had tried all of that file (nothing was left
    // untried when this run started on it): only then are its bad sectors
    // tried again.
    bool wasTriedThrough(const std::string& destination) const;
    // Marks a range of that file's map; saves it when a save is due.
    void mark(const std::string& destination, ByteRange range, RescueMap::Status status);
    // Saves the map of that file now, if it changed since it was last saved.
    void save(const std::string& destination);
    // Saves every map that has changed since it was last saved.
    void saveAll();

    static std::string mapPathFor(const std::string& destination);

private:
    struct FileMap
    {
        std::string source;
        std::string destination;
        std::string path; // of the map; empty: this file has none
        RescueMap map;
        bool triedThrough = false;
        std::string started;
        bool changed = false;
    };

    std::optional<RescueMap> trustedMap(const FileMap& file, const SourceFacts& source);
    void noteChange(FileMap& file);
    void save(FileMap& file);
    void saveIfDue(FileMap& file);

    bool m_enabled;
    std::string m_commandLine;
    std::ostream& m_messages;
    std::map<std::string, FileMap> m_files; // by destination
    std::vector<FileMap*> m_unsaved;        // changed since last saved; into m_files
    FileMap* m_current = nullptr;           // the file the copy pass is in
    std::chrono::steady_clock::time_point m_lastSave;
};

} // namespace brindlecap
