// SPDX-License-Identifier: GPL-3.0-or-later
#include "map_record.h"

#include "copy_error.h"
#include "path_text.h"
#include "quoted_name.h"
#include "written_copy.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <ostream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utility>

namespace brindlecap {

namespace {

using Status = RescueMap::Status;

// An interruption loses at most this much work (and what the one read under
// way does, however long it blocks), unless saving itself is costly: the map of a disc scratched
// all over holds a million blocks (50 MB of text), which is not to be written every two seconds.
// Saves then wait thirty times as long as the last one took, and a second for each 2 MiB it wrote,
// so that saving costs the run a few per cent at most, as ddrescue saves a large mapfile less
// often. Ctrl-C saves at once all the same.
constexpr auto saveInterval = std::chrono::seconds(2);
constexpr int saveSpacing = 30;
constexpr std::int64_t savedBytesPerSecond = 2 << 20;

std::string timeText(FileTime time)
{
    return std::to_string(time.seconds) + "." + std::to_string(time.nanoseconds);
}

std::string identityText(const FileIdentity& identity)
{
    return std::to_string(identity.device) + ":" + std::to_string(identity.inode);
}

std::optional<FileIdentity> identityFrom(const std::string& text)
{
    FileIdentity identity;
    const auto* end = text.data() + text.size();
    const auto device = std::from_chars(text.data(), end, identity.device);
    if (device.ec != std::errc() || device.ptr == end || *device.ptr != ':')
        return std::nullopt;
    const auto inode = std::from_chars(device.ptr + 1, end, identity.inode);
    if (inode.ec != std::errc() || inode.ptr != end)
        return std::nullopt;
    return identity;
}

bool sameFolder(const std::string& first, const std::string& second)
{
    struct stat a
    {};
    struct stat b
    {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string noteOf(const RescueMap& map, const char* key)
{
    const auto found = map.notes.find(key);
    return found == map.notes.end() ? std::string() : found->second;
}

// How many bytes of `range` lie in `ranges` (in order, apart): a search, as
// a scratched disc leaves a hundred thousand of them.
std::int64_t bytesWithin(const std::vector<ByteRange>& ranges, ByteRange range)
{
    std::int64_t bytes = 0;
    auto at =
        std::upper_bound(ranges.begin(), ranges.end(), range.offset,
                         [](std::int64_t offset, const ByteRange& r) { return offset < r.end(); });
    for (; at != ranges.end() && at->offset < range.end(); ++at)
        bytes += std::min(at->end(), range.end()) - std::max(at->offset, range.offset);
    return bytes;
}

// The facts of a copy as a map records them.
std::map<std::string, std::string> factNotes(const CopyFacts& facts)
{
    return {{"copy", identityText(facts.identity)},
            {"copy-size", std::to_string(facts.size)},
            {"copy-modified", timeText(facts.modified)},
            {"copy-changed", timeText(facts.changed)}};
}

bool factsMatch(const RescueMap& map, const CopyFacts& facts)
{
    const auto notes = factNotes(facts);
    return std::all_of(notes.begin(), notes.end(), [&](const auto& note) {
        return noteOf(map, note.first.c_str()) == note.second;
    });
}

// The folder's list of copies rescued whole: empty where it has none; none,
// with why, where it does not read.
std::optional<FinishedList> finishedListIn(const MapFolder& folder, std::string& why)
{
    std::string text;
    const auto error = folder.read(FinishedList::fileName, text);
    if (error == std::errc::no_such_file_or_directory)
        return FinishedList();
    if (error) {
        why = error.message();
        return std::nullopt;
    }
    auto list = FinishedList::parse(text, why);
    if (!list)
        why = "it is not a list of finished copies: " + why;
    return list;
}

} // namespace

const std::string& MapRecord::localTime()
{
    // Thousands of small files start within one second: the text is made
    // once for it.
    const auto now = std::time(nullptr);
    if (now == m_localTimeOf && !m_localTime.empty())
        return m_localTime;
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    m_localTimeOf = now;
    m_localTime = text;
    return m_localTime;
}

MapRecord::MapRecord(bool enabled, std::string commandLine, std::ostream& messages,
                     FileAccess& files, FileSystemSync& volume, FolderTree& copies)
    : m_enabled(enabled), m_commandLine(std::move(commandLine)), m_messages(messages),
      m_files(files), m_volume(volume), m_copies(copies),
      m_lastSave(std::chrono::steady_clock::now())
{}

std::error_code MapRecord::openMapFolder(const std::string& folder, bool create, MapFolder& into)
{
    int parent = -1;
    if (const auto error = m_copies.folder(folder, parent))
        return error;
    return into.open(parent, create);
}

std::error_code MapRecord::openCopy(const std::string& destination, const FileIdentity& written,
                                    WrittenCopy& into)
{
    NamePlace place;
    if (const auto error = placeOf(&m_copies, destination, place))
        return error;
    return into.open(place, written);
}

std::string MapRecord::mapPath(const FileMap& file) const
{
    return file.listed ? listPath(file.folder)
                       : joinPath(joinPath(file.folder, MapFolder::name), file.mapName);
}

std::string MapRecord::listPath(const std::string& folder)
{
    return joinPath(joinPath(folder, MapFolder::name), FinishedList::fileName);
}

FileStart MapRecord::startFile(const FileOutcome& file, const SourceFacts& source)
{
    // The same file copied twice in one run: the first copy's batch is saved
    // before its entry is taken over.
    if (m_maps.count(file.destination) != 0)
        saveAll();
    FileMap entry;
    entry.source = file.source;
    entry.destination = file.destination;
    entry.folder = folderOf(file.destination);
    entry.map = RescueMap(source.length);
    entry.started = localTime();
    if (m_enabled && m_refusedFolders.count(entry.folder) == 0) {
        entry.mapName = bareName(file.destination) + ".map";
        const auto sourceFolder = folderOf(file.source);
        if (m_checkedFolders != std::pair(entry.folder, sourceFolder)) {
            m_checkedFolders = {entry.folder, sourceFolder};
            m_intoSourcesFolder = sameFolder(joinPath(entry.folder, MapFolder::name), sourceFolder);
        }
        if (m_intoSourcesFolder) {
            m_messages << "brindlecap-cli: no rescue map for " << quotedName(file.source)
                       << ": it would go into the source's folder\n";
            entry.mapName.clear();
        }
    }
    FileStart start;
    if (!entry.mapName.empty()) {
        entry.map.notes["source"] = quotedName(file.source);
        entry.map.notes["source-size"] = std::to_string(source.length);
        entry.map.notes["source-modified"] = timeText(source.modified);
        switch (readEarlier(entry, source)) {
        case Earlier::none:
        case Earlier::trusted:
            break;
        case Earlier::otherDisc:
            // The copy and its map stay exactly as they are.
            entry.mapName.clear();
            start.refused = CopyError::rescuedFromOtherSource;
            break;
        case Earlier::stopped:
            // Nothing of it is touched before the stop ends the job.
            start.leftAlone = {{0, source.length}};
            entry.mapName.clear();
            break;
        }
    }
    entry.kept = !entry.mapName.empty();
    start.insidesScrapedLater = entry.kept;
    m_current = &(m_maps[file.destination] = std::move(entry));
    // The copy pass reads only what no run has tried; the rest is rescued,
    // or left to the passes over bad sectors.
    if (!start.refused && start.leftAlone.empty()) {
        start.rescued = m_current->map.rangesWith(Status::finished);
        start.leftAlone =
            rangesOutside(m_current->map.rangesWithout(Status::nonTried), start.rescued);
    }
    return start;
}

MapRecord::Earlier MapRecord::readEarlier(FileMap& file, const SourceFacts& source)
{
    // The copies of one folder come one after the other: its maps' folder is
    // looked up once for them all.
    if (m_lookedIn != file.folder) {
        m_lookedIn = file.folder;
        m_lookedUp = openMapFolder(file.folder, false, m_looked);
        m_lookedListRead = false;
    }
    auto& folder = m_looked;
    auto error = m_lookedUp;
    if (error == std::errc::no_such_file_or_directory)
        return Earlier::none;
    if (error) {
        m_messages << "brindlecap-cli: no rescue maps in " << quotedName(file.folder) << ": "
                   << quotedName(joinPath(file.folder, MapFolder::name)) << ": " << error.message()
                   << "\n";
        m_refusedFolders.insert(file.folder);
        file.mapName.clear();
        return Earlier::none;
    }
    std::string text;
    error = folder.read(file.mapName, text);
    if (error == std::errc::no_such_file_or_directory)
        return readListed(file, source);
    file.mapThere = true;
    if (error) {
        m_messages << "brindlecap-cli: no rescue map for " << quotedName(file.source) << ": "
                   << quotedName(mapPath(file)) << ": " << error.message() << "\n";
        file.mapName.clear();
        return Earlier::none;
    }
    std::string why;
    auto earlier = RescueMap::parse(text, why);
    if (!earlier) {
        setAside(file, "it is not a map: " + why);
        return Earlier::none;
    }
    return judge(file, source, std::move(*earlier));
}

MapRecord::Earlier MapRecord::readListed(FileMap& file, const SourceFacts& source)
{
    if (!m_lookedListRead) {
        m_lookedListRead = true;
        std::string why;
        m_lookedList = finishedListIn(m_looked, why);
        if (!m_lookedList)
            m_messages << "brindlecap-cli: " << quotedName(listPath(file.folder)) << ": " << why
                       << "; the copies it lists are copied afresh\n";
    }
    auto earlier = m_lookedList ? m_lookedList->mapOf(bareName(file.destination)) : std::nullopt;
    if (!earlier)
        return Earlier::none;
    file.listed = true;
    return judge(file, source, std::move(*earlier));
}

MapRecord::Earlier MapRecord::judge(FileMap& file, const SourceFacts& source, RescueMap earlier)
{
    if (earlier.bytesWith(Status::nonTried) == earlier.size())
        return Earlier::none; // it promises nothing
    // Which copy it describes: the file there now, or nothing of it holds.
    const auto copy = identityFrom(noteOf(earlier, "copy"));
    FileIdentity there;
    if (!copy || m_files.identify(file.destination, there) || there != *copy) {
        setAside(file, "the copy it describes is not there");
        return Earlier::none;
    }
    // That copy is the rescue of one source: another one is not mixed in.
    if (earlier.size() != source.length ||
        noteOf(earlier, "source-size") != std::to_string(source.length) ||
        noteOf(earlier, "source-modified") != timeText(source.modified))
        return Earlier::otherDisc;
    const auto fingerprint = SourceFingerprint::parse(noteOf(earlier, "source-fingerprint"));
    if (!fingerprint)
        return Earlier::otherDisc;
    const auto match = fingerprint->check([&](ByteRange range, std::span<std::byte> bytes) {
        auto error = m_files.openSource(file.source, source.identity);
        ReadResult read;
        if (!error)
            read = m_files.readAt(range.offset, bytes);
        m_files.close();
        if (!error)
            error = read.error;
        if (!error && (read.bytes < range.length || !read.unreadable.empty()))
            error = std::make_error_code(std::errc::io_error);
        return error;
    });
    if (match == SourceFingerprint::Match::different)
        return Earlier::otherDisc;
    if (match == SourceFingerprint::Match::stopped)
        return Earlier::stopped;
    // Changed since the map was saved (by anyone, or by a run that crashed
    // between two saves): what the map says of it no longer holds.
    WrittenCopy written;
    if (openCopy(file.destination, *copy, written) || !factsMatch(earlier, written.facts())) {
        setAside(file, "the copy was changed since the map was saved");
        return Earlier::none;
    }
    earlier.notes["source"] = file.map.notes["source"];
    file.map = std::move(earlier);
    file.copy = copy;
    file.fingerprint = *fingerprint;
    // Tried through: every pass was done with it, or the retries were under
    // way. A run stopped after the copy pass (--passes=copy) only goes on.
    file.badAtStart =
        unionOf(file.map.rangesWith(Status::badSector), file.map.rangesWith(Status::nonScraped));
    file.triedThrough = (file.map.currentStatus == Status::finished ||
                         file.map.currentStatus == Status::badSector) &&
                        file.map.bytesWith(Status::nonTried) == 0 &&
                        file.map.bytesWith(Status::nonScraped) == 0;
    if (const auto started = noteOf(file.map, "started"); !started.empty())
        file.started = started;
    return Earlier::trusted;
}

void MapRecord::setAside(const FileMap& file, const std::string& why)
{
    m_messages << "brindlecap-cli: " << quotedName(mapPath(file)) << " does not match "
               << quotedName(file.destination) << " (" << why << "); copying that file afresh\n";
}

void MapRecord::chunkMoved(const ChunkOutcome& chunk)
{
    if (m_current == nullptr)
        return;
    auto& file = *m_current;
    if (chunk.copy != FileIdentity{})
        adoptCopy(file, chunk.copy);
    // The bytes are at hand now: no need to read them back from the copy.
    const bool bytesAtHand = file.kept && std::ssize(chunk.bytes) == chunk.length;
    for (const auto& range : chunk.finished) {
        markWritten(file.destination, range, chunk.copy);
        if (bytesAtHand && range.offset >= chunk.offset &&
            range.end() <= chunk.offset + chunk.length)
            file.fingerprint.offerWritten(
                file.map.size(), range,
                chunk.bytes.subspan(static_cast<std::size_t>(range.offset - chunk.offset))
                    .first(static_cast<std::size_t>(range.length)));
    }
    // Without a map, only what waits for the disk is kept.
    if (file.kept) {
        file.map.markAll(chunk.bad, Status::badSector);
        file.map.markAll(chunk.presumed, Status::nonScraped);
        file.map.currentPosition = chunk.offset + chunk.length;
    }
    noteChange(file);
    saveIfDue();
}

RescueMap* MapRecord::mapOf(const std::string& destination)
{
    const auto found = m_maps.find(destination);
    return found == m_maps.end() || !found->second.kept ? nullptr : &found->second.map;
}

std::optional<FileIdentity> MapRecord::copyOf(const std::string& destination) const
{
    const auto found = m_maps.find(destination);
    return found == m_maps.end() ? std::nullopt : found->second.copy;
}

bool MapRecord::wasTriedThrough(const std::string& destination) const
{
    const auto found = m_maps.find(destination);
    return found != m_maps.end() && found->second.triedThrough;
}

void MapRecord::markBad(const std::string& destination, ByteRange range, RescueMap::Status status)
{
    auto& file = m_maps.at(destination);
    file.map.mark(range, status);
    file.map.currentPosition = range.end();
    noteChange(file);
    saveIfDue();
}

void MapRecord::markFinished(const std::string& destination)
{
    auto& file = m_maps.at(destination);
    file.passesDone = true;
    // A map saved finished already is not saved again for nothing.
    if (file.map.currentStatus != Status::finished)
        noteChange(file);
}

void MapRecord::markWritten(const std::string& destination, ByteRange range,
                            const FileIdentity& copy)
{
    auto& file = m_maps.at(destination);
    adoptCopy(file, copy);
    file.pending.push_back(range);
    file.pendingBytes += range.length;
    if (file.copy)
        m_volume.wrote(file.copy->device);
    noteChange(file);
}

void MapRecord::markNotWritten(const std::string& destination, ByteRange range, std::error_code why)
{
    auto& file = m_maps.at(destination);
    file.lost = unionOf(file.lost, {range});
    if (!file.lostBecause)
        file.lostBecause = why;
}

void MapRecord::adoptCopy(FileMap& file, const FileIdentity& copy)
{
    if (file.copy && *file.copy != copy) {
        // Written into another file than the one the map describes (its name
        // changed hands): nothing the map said of the old one holds for it.
        auto notes = std::move(file.map.notes);
        file.map = RescueMap(file.map.size());
        file.map.notes = std::move(notes);
        file.pending.clear();
        file.pendingBytes = 0;
        file.fingerprint = {};
    }
    file.copy = copy;
}

std::int64_t MapRecord::rescuedBytes(const std::string& destination) const
{
    const auto found = m_maps.find(destination);
    return found == m_maps.end()
               ? 0
               : found->second.map.bytesWith(Status::finished) + found->second.pendingBytes;
}

void MapRecord::noteChange(FileMap& file)
{
    // A folder of thousands of small files: only the few maps changed since
    // the last save are looked at.
    if (!file.changed) {
        file.changed = true;
        m_unsaved.push_back(&file);
    }
}

void MapRecord::saveIfDue()
{
    const auto interval = std::max<std::chrono::steady_clock::duration>(
        {saveInterval, m_lastSaveTook * saveSpacing,
         std::chrono::seconds(m_lastSaveBytes / savedBytesPerSecond)});
    if (std::chrono::steady_clock::now() - m_lastSave >= interval)
        saveAll();
}

void MapRecord::saveAll()
{
    const auto started = std::chrono::steady_clock::now();
    const auto batch = std::exchange(m_unsaved, {});
    if (batch.empty())
        return;
    // The data first, once for the whole batch where the file system allows:
    // a map may only ever describe what is on the disk.
    const bool anyCovered = std::any_of(batch.begin(), batch.end(), [&](const FileMap* file) {
        return file->pendingBytes > 0 && file->copy && m_volume.covers(file->copy->device);
    });
    const auto volumeError = anyCovered ? m_volume.sync() : std::error_code();
    for (auto* file : batch)
        settle(*file, volumeError);
    saveMaps(batch);
    for (auto* file : batch)
        file->changed = false;
    m_lastSave = std::chrono::steady_clock::now();
    m_lastSaveTook = m_lastSave - started;
}

void MapRecord::settle(FileMap& file, std::error_code volumeError)
{
    WrittenCopy copy;
    auto error = file.copy ? openCopy(file.destination, *file.copy, copy)
                           : std::make_error_code(std::errc::no_such_file_or_directory);
    if (file.pendingBytes > 0) {
        if (!error)
            error = m_volume.covers(file.copy->device) ? volumeError : copy.sync();
        if (error) {
            // Not on the disk, or no longer in the file at that name: the next
            // run writes it again.
            file.lost = unionOf(file.lost, file.pending);
            if (!file.lostBecause)
                file.lostBecause = error;
        } else if (file.kept) {
            file.map.markAll(file.pending, Status::finished);
            for (const auto& range : file.pending)
                file.recovered += bytesWithin(file.badAtStart, range);
        }
        file.pending.clear();
        file.pendingBytes = 0;
    }
    file.fingerprint.takeWritten(file.map);
    if (file.passesDone && file.map.bytesWith(Status::nonTried) == 0 &&
        file.map.bytesWith(Status::nonScraped) == 0)
        file.map.currentStatus = Status::finished;
    if (error || file.mapName.empty())
        return;
    for (const auto& [key, value] : factNotes(copy.facts()))
        file.map.notes[key] = value;
    file.fingerprint.addFrom(file.map, [&](ByteRange range, std::span<std::byte> bytes) {
        return copy.read(range.offset, bytes);
    });
    file.map.notes["source-fingerprint"] = file.fingerprint.note();
}

MapFolder* MapRecord::folderFor(FileMap& file)
{
    if (const auto found = m_folders.find(file.folder); found != m_folders.end())
        return &found->second;
    MapFolder folder;
    if (const auto error = openMapFolder(file.folder, true, folder)) {
        m_messages << "brindlecap-cli: no rescue maps in " << quotedName(file.folder) << ": "
                   << quotedName(joinPath(file.folder, MapFolder::name)) << ": " << error.message()
                   << "\n";
        m_refusedFolders.insert(file.folder);
        return nullptr;
    }
    return &(m_folders[file.folder] = std::move(folder));
}

void MapRecord::saveMaps(const std::vector<FileMap*>& batch)
{
    // Some folders at a time: each maps' folder is held open until its maps
    // are in place, and a run over thousands of folders must not run out of
    // descriptors. Half of what is left once the run has its own open.
    static const std::size_t foldersAtOnce = [] {
        constexpr rlim_t runsOwn = 32;
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
            return std::size_t{256};
        return std::clamp<std::size_t>((limit.rlim_cur - std::min(limit.rlim_cur, runsOwn)) / 2, 1,
                                       256);
    }();
    m_lastSaveBytes = 0;
    std::vector<FileMap*> part;
    std::set<std::string> folders;
    for (auto* file : batch) {
        if (folders.size() == foldersAtOnce && folders.count(file->folder) == 0) {
            saveMapsOfFolders(part);
            part.clear();
            folders.clear();
        }
        folders.insert(file->folder);
        part.push_back(file);
    }
    saveMapsOfFolders(part);
}

void MapRecord::saveMapsOfFolders(const std::vector<FileMap*>& batch)
{
    // Each map to a new file beside it; all of them onto the disk; then each
    // in its old one's place. An interruption leaves old maps or new ones.
    // A first map goes straight to its place: there is no old one to keep.
    // The copies rescued whole by their first save share their folder's
    // finished list instead, which is always replaced whole.
    std::vector<Replacement> written;
    std::vector<std::pair<FileMap*, MapFolder*>> own;
    std::map<MapFolder*, Listing> listings;
    bool anyCovered = false;
    for (auto* file : batch) {
        if (file->mapName.empty())
            continue;
        auto* folder = folderFor(*file);
        if (folder == nullptr) {
            file->mapName.clear();
            continue;
        }
        file->map.notes["started"] = file->started;
        anyCovered = anyCovered || m_volume.covers(folder->device());
        const bool whole =
            !file->mapThere && file->map.bytesWith(Status::finished) == file->map.size();
        if (whole || file->listed) {
            auto& listing = listings[folder];
            listing.copies = file->folder;
            (whole ? listing.put : listing.drop).push_back(file);
        }
        if (!whole)
            own.emplace_back(file, folder);
    }
    for (auto& [folder, listing] : listings)
        saveList(*folder, listing, own, written);
    for (auto& [file, folder] : own) {
        const bool covered = m_volume.covers(folder->device());
        const auto head = file->map.head(m_commandLine, file->started, localTime());
        const auto& body = file->map.blockLines();
        m_lastSaveBytes += static_cast<std::int64_t>(head.size() + body.size());
        Replacement replacement{folder, file->mapName, mapPath(*file), {file}};
        if (!file->mapThere) {
            const auto error = folder->writeFirst(file->mapName, head, body, !covered);
            file->mapThere = true; // made, or something else is there: replaced whole from now
            if (!error)
                continue;
            if (error != std::errc::file_exists) {
                refuse(replacement, error);
                continue;
            }
        }
        if (const auto error = folder->writeNew(file->mapName, head, body, !covered)) {
            replacement.path += ".new";
            refuse(replacement, error);
            continue;
        }
        written.push_back(std::move(replacement));
    }
    if (anyCovered) {
        if (const auto error = m_volume.sync()) {
            for (const auto& replacement : written)
                if (replacement.name == FinishedList::fileName)
                    refuse(replacement, error);
            for (auto* file : batch)
                if (!file->mapName.empty())
                    refuse({nullptr, file->mapName, mapPath(*file), {file}}, error);
            written.clear();
        }
    }
    for (const auto& replacement : written) {
        if (const auto error = replacement.folder->replace(replacement.name))
            refuse(replacement, error);
    }
    // The replacements onto the disk: the file system's at once where it
    // can, else each folder's.
    if (anyCovered && !written.empty())
        m_volume.sync();
    for (auto& [path, folder] : m_folders)
        if (!m_volume.covers(folder.device()))
            folder.sync();
    m_folders.clear();  // none held between saves
    m_lookedIn.clear(); // a maps' folder may be there now
}

void MapRecord::saveList(MapFolder& folder, Listing& listing,
                         std::vector<std::pair<FileMap*, MapFolder*>>& own,
                         std::vector<Replacement>& written)
{
    // The lines of the folder's other copies stay as they are.
    std::string why;
    auto list = finishedListIn(folder, why);
    if (!list) {
        // A list that does not read is left as it is (a later run says so):
        // these copies keep maps of their own.
        for (auto* file : listing.put)
            own.emplace_back(file, &folder);
        return;
    }
    for (auto* file : listing.drop) {
        list->remove(bareName(file->destination));
        file->listed = false;
    }
    for (auto* file : listing.put) {
        file->map.currentPosition = file->map.size();
        file->map.currentStatus = Status::finished;
        list->put(bareName(file->destination), file->map);
        file->listed = true;
    }
    const auto head = list->head();
    const auto lines = list->lines();
    m_lastSaveBytes += static_cast<std::int64_t>(head.size() + lines.size());
    Replacement replacement{&folder, FinishedList::fileName, listPath(listing.copies), listing.put};
    if (const auto failed =
            folder.writeNew(replacement.name, head, lines, !m_volume.covers(folder.device()))) {
        replacement.path += ".new";
        refuse(replacement, failed);
        return;
    }
    written.push_back(std::move(replacement));
}

void MapRecord::refuse(const Replacement& replacement, std::error_code error)
{
    m_messages << "brindlecap-cli: cannot save the rescue map " << quotedName(replacement.path)
               << ": " << error.message() << "\n";
    for (auto* file : replacement.maps)
        file->mapName.clear(); // said once; the copy goes on without it
}

void MapRecord::account(FileOutcome& file) const
{
    const auto found = m_maps.find(file.destination);
    if (found == m_maps.end() || file.status() == FileStatus::notCopied)
        return;
    const auto& record = found->second;
    if (record.kept) {
        const auto& map = record.map;
        // What nobody asked of the medium is not unreadable: a stopped
        // file's untried rest, what followed a medium that went away, what
        // was read but never reached the disk (reported not written).
        const auto untried = map.rangesWith(Status::nonTried);
        const auto unreadable =
            rangesOutside(rangesOutside(map.rangesWithout(Status::finished), record.lost), untried);
        if (file.finished && file.untriedBecause && !untried.empty()) {
            file.finished = false;
            file.reached = untried.front().offset;
        }
        const auto error = file.firstReadError && file.firstReadError != file.untriedBecause
                               ? file.firstReadError
                               : std::make_error_code(std::errc::io_error);
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
    file.recoveredBytes += record.recovered;
    if (record.lostBecause) {
        std::int64_t lost = 0;
        for (const auto& range : record.lost)
            lost += range.length;
        file.addUnwritten(lost, record.lostBecause);
    }
}

} // namespace brindlecap
