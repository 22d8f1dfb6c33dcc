// SPDX-License-Identifier: GPL-3.0-or-later
#include "map_record.h"

#include "quoted_name.h"
#include "unique_fd.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace brindlecap {

namespace {

// An interruption loses at most this much work.
constexpr auto saveInterval = std::chrono::seconds(2);
constexpr const char* mapFolder = ".brindlecap";

std::string localTime()
{
    const auto now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string modified(const struct stat& status)
{
    return std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

std::string deviceAndInode(const struct stat& status)
{
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
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

std::string parentOf(const std::string& path)
{
    const auto parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// Writes the whole text to a new file and onto the disk.
bool writeDurably(const std::string& path, const std::string& text)
{
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.isOpen())
        return false;
    for (std::size_t done = 0; done < text.size();) {
        const auto put = ::write(fd.get(), text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return ::fsync(fd.get()) == 0 && !fd.close();
}

} // namespace

MapRecord::MapRecord(bool enabled, std::string commandLine, std::ostream& messages)
    : m_enabled(enabled), m_commandLine(std::move(commandLine)), m_messages(messages),
      m_lastSave(std::chrono::steady_clock::now())
{}

std::string MapRecord::mapPathFor(const std::string& destination)
{
    const std::filesystem::path path(destination);
    return (path.parent_path() / mapFolder / (path.filename().string() + ".map")).string();
}

std::vector<ByteRange> MapRecord::startFile(const FileOutcome& file, const SourceFacts& source)
{
    saveAll(); // the last file is done with
    FileMap entry{file.source, file.destination, {}, RescueMap(source.length), false, localTime()};
    if (m_enabled) {
        entry.path = mapPathFor(file.destination);
        if (sameFolder(parentOf(entry.path), parentOf(file.source))) {
            m_messages << "brindlecap-cli: no rescue map for " << quotedName(file.source)
                       << ": it would go into the source's folder\n";
            entry.path.clear();
        }
    }
    struct stat status
    {};
    if (!entry.path.empty() && ::stat(file.source.c_str(), &status) == 0) {
        entry.map.notes["source"] = quotedName(file.source);
        entry.map.notes["source-size"] = std::to_string(source.length);
        entry.map.notes["source-modified"] = modified(status);
        if (auto earlier = trustedMap(entry, source)) {
            earlier->notes = entry.map.notes;
            entry.map = std::move(*earlier);
            entry.triedThrough = entry.map.bytesWith(RescueMap::Status::nonTried) == 0 &&
                                 entry.map.bytesWith(RescueMap::Status::nonScraped) == 0;
            if (auto started = entry.map.notes.find("started"); started != entry.map.notes.end())
                entry.started = started->second;
        }
    }
    m_current = &(m_files[file.destination] = std::move(entry));
    // The copy pass reads only what no run has tried; the rest is rescued,
    // or left to the passes over bad sectors.
    return m_current->map.rangesWithout(RescueMap::Status::nonTried);
}

std::optional<RescueMap> MapRecord::trustedMap(const FileMap& file, const SourceFacts& source)
{
    const auto fail = [&](const std::string& why) -> std::optional<RescueMap> {
        m_messages << "brindlecap-cli: " << quotedName(file.path) << " does not match "
                   << quotedName(file.source) << " (" << why << "); copying that file afresh\n";
        return std::nullopt;
    };
    std::error_code error;
    if (!std::filesystem::exists(file.path, error))
        return std::nullopt;
    const auto text = [&] {
        std::string bytes;
        UniqueFd fd(::open(file.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        char block[65536];
        for (ssize_t got; fd.isOpen() && (got = ::read(fd.get(), block, sizeof block)) > 0;)
            bytes.append(block, static_cast<std::size_t>(got));
        return bytes;
    }();
    std::string why;
    auto map = RescueMap::parse(text, why);
    if (!map)
        return fail("it is not a map: " + why);
    const auto& notes = map->notes;
    const auto note = [&](const char* key) {
        const auto found = notes.find(key);
        return found == notes.end() ? std::string() : found->second;
    };
    if (map->size() != source.length || note("source-size") != std::to_string(source.length))
        return fail("the source's size changed");
    if (note("source-modified") != file.map.notes.at("source-modified"))
        return fail("the source was changed since");
    struct stat copy
    {};
    const bool copyExists = ::stat(file.destination.c_str(), &copy) == 0;
    const bool anythingDone = map->bytesWith(RescueMap::Status::nonTried) < map->size();
    if (anythingDone && (!copyExists || note("copy") != deviceAndInode(copy)))
        return fail("the copy it describes is not there");
    return map;
}

void MapRecord::chunkMoved(const ChunkOutcome& chunk)
{
    if (m_current == nullptr)
        return;
    auto& file = *m_current;
    file.map.markAll(chunk.finished, RescueMap::Status::finished);
    file.map.markAll(chunk.bad, RescueMap::Status::badSector);
    file.map.markAll(chunk.presumed, RescueMap::Status::nonScraped);
    file.map.currentPosition = chunk.offset + chunk.length;
    // Through, and nothing left for the scraping pass: this run is done with
    // the file, unless it tries its bad sectors again.
    if (file.map.currentPosition == file.map.size() &&
        file.map.bytesWith(RescueMap::Status::nonTried) == 0 &&
        file.map.bytesWith(RescueMap::Status::nonScraped) == 0)
        file.map.currentStatus = RescueMap::Status::finished;
    noteChange(file);
    saveIfDue(file);
}

RescueMap* MapRecord::mapOf(const std::string& destination)
{
    const auto found = m_files.find(destination);
    return found == m_files.end() || found->second.path.empty() ? nullptr : &found->second.map;
}

bool MapRecord::wasTriedThrough(const std::string& destination) const
{
    const auto found = m_files.find(destination);
    return found != m_files.end() && found->second.triedThrough;
}

void MapRecord::mark(const std::string& destination, ByteRange range, RescueMap::Status status)
{
    auto& file = m_files.at(destination);
    file.map.mark(range, status);
    file.map.currentPosition = range.end();
    noteChange(file);
    saveIfDue(file);
}

void MapRecord::saveIfDue(FileMap& file)
{
    if (std::chrono::steady_clock::now() - m_lastSave >= saveInterval)
        save(file);
}

void MapRecord::noteChange(FileMap& file)
{
    // A folder of thousands of small files: only the few maps changed since
    // the last save are looked at, and files without a map never.
    if (!file.changed && !file.path.empty()) {
        file.changed = true;
        m_unsaved.push_back(&file);
    }
}

void MapRecord::saveAll()
{
    for (auto* file : std::exchange(m_unsaved, {}))
        if (file->changed)
            save(*file);
}

void MapRecord::save(const std::string& destination)
{
    if (const auto found = m_files.find(destination);
        found != m_files.end() && found->second.changed)
        save(found->second);
}

void MapRecord::save(FileMap& file)
{
    m_lastSave = std::chrono::steady_clock::now();
    if (file.path.empty())
        return;
    // The data first: the map may only ever describe what is on the disk.
    UniqueFd copy(::open(file.destination.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status
    {};
    if (copy.isOpen() && ::fstat(copy.get(), &status) == 0 && S_ISREG(status.st_mode)) {
        ::fsync(copy.get());
        file.map.notes["copy"] = deviceAndInode(status);
    } else {
        file.map.notes.erase("copy");
    }
    file.map.notes["started"] = file.started;
    const auto folder = parentOf(file.path);
    ::mkdir(folder.c_str(), 0755);
    // A new file renamed over the old one: an interruption leaves the old
    // map or the new one, never half of one.
    const auto temporary = file.path + ".new";
    if (!writeDurably(temporary, file.map.text(m_commandLine, file.started, localTime())) ||
        ::rename(temporary.c_str(), file.path.c_str()) != 0) {
        m_messages << "brindlecap-cli: cannot save the rescue map " << quotedName(file.path) << ": "
                   << std::strerror(errno) << "\n";
        ::unlink(temporary.c_str());
        file.path.clear(); // said once; the copy goes on without it
        return;
    }
    UniqueFd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.isOpen())
        ::fsync(directory.get());
    file.changed = false;
}

} // namespace brindlecap
