// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system_sync.h"
#include "finished_list.h"
#include "folder_tree.h"
#include "map_folder.h"
#include "rescue_map.h"
#include "rescue_record.h"
#include "source_fingerprint.h"
#include "written_copy.h"

#include <chrono>
#include <ctime>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindlecap {

// Keeps a rescue map for each destination file, in a hidden folder beside it
// (FOLDER/.brindlecap/NAME.map, or a line of FOLDER/.brindlecap/finished.list
// for a copy rescued whole by its first save), and tells the copy job what
// earlier runs did: what they rescued, and the bad stretches left to the
// later passes, is not read again by the copy pass.
//
// A map is a promise about one copy of one source. A range is marked rescued
// only once its bytes are on the disk: what is written waits for the next
// save, which puts the whole batch on the disk at once and only then marks
// it. Each save records the copy by the file that was written (device and
// inode), with its size and times, and a fingerprint of the source. A later
// run trusts the map only while the copy is unchanged; a copy changed since
// is copied afresh. A source that is not the one the map was made from
// (another size, time or fingerprint) is not copied at all, so that another
// disc can never be mixed into, or cut, an earlier rescue.
class MapRecord final : public RescueLedger
{
public:
    // `enabled` false (--no-map): no map is read or written and every file
    // starts afresh; what is written still reaches the disk before the
    // report counts it. `files` reads a source's fingerprint again, `volume`
    // is the destination's file system, and `copies` the tree the copies and
    // their maps are reached through. Messages about maps go to `messages`.
    MapRecord(bool enabled, std::string commandLine, std::ostream& messages, FileAccess& files,
              FileSystemSync& volume, FolderTree& copies);

    FileStart startFile(const FileOutcome& file, const SourceFacts& source) override;
    void chunkMoved(const ChunkOutcome& chunk) override;

    RescueMap* mapOf(const std::string& destination) override;
    std::optional<FileIdentity> copyOf(const std::string& destination) const override;
    bool wasTriedThrough(const std::string& destination) const override;
    void markBad(const std::string& destination, ByteRange range,
                 RescueMap::Status status) override;
    void markFinished(const std::string& destination) override;
    // Rescued once a save has put it on the disk.
    void markWritten(const std::string& destination, ByteRange range,
                     const FileIdentity& copy) override;
    void markNotWritten(const std::string& destination, ByteRange range,
                        std::error_code why) override;
    // The bytes of that file rescued so far, those not yet on the disk too.
    std::int64_t rescuedBytes(const std::string& destination) const;

    // Saves when the last save is two seconds old.
    void saveIfDue() override;
    // Puts everything written since the last save on the disk, marks it
    // rescued (or, where that failed, not written), and saves each map that
    // changed.
    void saveAll();
    // The file's report as the record has it once all is saved: unreadable
    // is what no try rescued; what was written but never reached the disk is
    // not written.
    void account(FileOutcome& file) const;

private:
    // The local time as a map's head shows it.
    const std::string& localTime();

    struct FileMap
    {
        std::string source;
        std::string destination;
        std::string folder;    // the copy's
        std::string mapName;   // in the folder's .brindlecap; empty: none is saved
        bool mapThere = false; // a file at its name: saves replace it whole
        bool listed = false;   // its map is its line in the folder's finished list
        bool kept = false;     // this run keeps a map of it, saved or not
        RescueMap map;
        std::optional<FileIdentity> copy;
        std::vector<ByteRange> pending; // written, not yet on the disk
        std::int64_t pendingBytes = 0;
        std::vector<ByteRange> lost; // written, but never on the disk
        std::error_code lostBecause;
        SourceFingerprint fingerprint;
        bool triedThrough = false;
        std::string started;
        bool changed = false;
        bool passesDone = false; // every pass is done with it
        // What earlier runs tried and found bad: what is rescued of it now
        // is what this run recovered.
        std::vector<ByteRange> badAtStart;
        std::int64_t recovered = 0;
    };

    enum class Earlier
    {
        none,      // no map to go on: start afresh
        trusted,   // the map holds for this copy and this source
        otherDisc, // the copy is the rescue of another source
        stopped,   // a stop came while the source was being checked
    };

    // What a save puts into one folder's finished list, and takes out.
    struct Listing
    {
        std::string copies; // the copies' folder
        std::vector<FileMap*> put;
        std::vector<FileMap*> drop;
    };
    // A file a save writes, to be put in place of the one it replaces.
    struct Replacement
    {
        MapFolder* folder = nullptr;
        std::string name;
        std::string path;
        std::vector<FileMap*> maps; // the maps it holds
    };

    Earlier readEarlier(FileMap& file, const SourceFacts& source);
    Earlier readListed(FileMap& file, const SourceFacts& source);
    Earlier judge(FileMap& file, const SourceFacts& source, RescueMap earlier);
    std::string mapPath(const FileMap& file) const;
    static std::string listPath(const std::string& folder);
    std::error_code openMapFolder(const std::string& folder, bool create, MapFolder& into);
    std::error_code openCopy(const std::string& destination, const FileIdentity& written,
                             WrittenCopy& into);
    void setAside(const FileMap& file, const std::string& why);
    void noteChange(FileMap& file);
    void adoptCopy(FileMap& file, const FileIdentity& copy);
    void settle(FileMap& file, std::error_code volumeError);
    void saveMaps(const std::vector<FileMap*>& batch);
    MapFolder* folderFor(FileMap& file);
    void saveMapsOfFolders(const std::vector<FileMap*>& batch);
    void saveList(MapFolder& folder, Listing& listing,
                  std::vector<std::pair<FileMap*, MapFolder*>>& own,
                  std::vector<Replacement>& written);
    void refuse(const Replacement& replacement, std::error_code error);

    bool m_enabled;
    std::string m_commandLine;
    std::ostream& m_messages;
    FileAccess& m_files;
    FileSystemSync& m_volume;
    FolderTree& m_copies;
    // By destination: looked up several times per chunk, by names that
    // share their folders' long start; its elements stay where they are.
    std::unordered_map<std::string, FileMap> m_maps;
    std::vector<FileMap*> m_unsaved;            // changed since last saved; into m_maps
    FileMap* m_current = nullptr;               // the file the copy pass is in
    std::map<std::string, MapFolder> m_folders; // opened for the save under way
    std::set<std::string> m_refusedFolders;     // said once
    // The last folder whose earlier maps were looked for, and what was found.
    std::string m_lookedIn;
    MapFolder m_looked;
    std::error_code m_lookedUp;
    // Its finished list, read when a copy is first looked for in it; none
    // where it does not read.
    bool m_lookedListRead = false;
    std::optional<FinishedList> m_lookedList;
    // The last copy's folder and its source's, and whether its maps would go
    // into the source's folder.
    std::pair<std::string, std::string> m_checkedFolders;
    bool m_intoSourcesFolder = false;
    std::chrono::steady_clock::time_point m_lastSave;
    std::chrono::steady_clock::duration m_lastSaveTook{};
    std::time_t m_localTimeOf = 0;
    std::string m_localTime;
    std::int64_t m_lastSaveBytes = 0;
};

} // namespace brindlecap
