// SPDX-License-Identifier: GPL-3.0-or-later
// A read-only FUSE file system that behaves like a failing disc, for tests.
// It serves the files that a description file names, with content that
// depends on the position, and fails reads where the description says:
//
//   file NAME SIZE SEED             a file of SIZE bytes
//   image NAME PATH                 a file with the bytes of the file at PATH
//                                   (a disc image made for the test)
//   hard NAME START END             reads of [START, END) fail with EIO, always
//   soft NAME START END COUNT       ... fail COUNT times, then succeed
//   errno NAME START END NUMBER     reads of [START, END) fail with that errno
//   hard-every NAME START PERIOD LENGTH COUNT
//                                   COUNT stretches of LENGTH bytes, one at
//                                   START + i * PERIOD for each i, always fail
//                                   (a disc scratched all over)
//   at-read NAME OFFSET ACTION...   the first read of NAME that covers OFFSET
//                                   first does ACTION, then is served:
//     symlink TARGET LINK             LINK becomes a symbolic link to TARGET
//                                     (atomically, as an attacker would; a
//                                     folder there is first renamed to
//                                     LINK.moved)
//     replace PATH                    PATH is renamed to PATH.moved and an
//                                     empty file takes its name
//     interrupt                       the reading process gets SIGINT
//     terminate                       the reading process gets SIGTERM
//   delay MILLISECONDS              each failing read takes this long first
//   pace MICROSECONDS               each read takes this long per 64 KiB
//                                   served (a slow healthy drive)
//   eject-after READS [ERRNO]       from read number READS on (counting from
//                                   1, all files), every read and stat fails
//                                   with ERRNO (EIO unless given; ENOMEDIUM
//                                   is what a drive says when a disc is out)
//   direct-io                       every read reaches the file system
//   kernel-cache                    what was read stays in the page cache
//                                   when the file is opened again, as the
//                                   kernel's own disc file systems keep it
//                                   (else each open drops it)
//   block-size BYTES                the block size the medium reports (2048,
//                                   a CD's sector, unless given)
//   sector BYTES                    the medium's own sector, the piece it
//                                   fails in (the block size unless given): a
//                                   read fails that touches a sector holding
//                                   a failing byte
//   fails-whole                     a read that meets a bad sector fails with
//                                   nothing served, as a drive fails a whole
//                                   O_DIRECT request (else it gives the
//                                   sectors before it)
//   writable                        files and folders can be made beside the
//                                   described files (kept in memory), as on a
//                                   destination disc
//   fail-fsync PATH ERRNO COUNT     the next COUNT fsyncs of that made file
//                                   fail with ERRNO (a lost write-back)
//   fail-flush PATH ERRNO COUNT     the next COUNT closes of it, opened for
//                                   writing, fail with ERRNO
//
// A read that starts before a failing sector is served up to it, as the
// kernel gives the pages before a bad one; the reader then asks for the rest
// and meets the error (direct-io without fails-whole only; through the page
// cache a short read would mean the end of the file, so the whole request
// fails).
// Opening a described file for writing fails with EROFS and is written to
// the log; made files take writes.
// Every read is written to LOG.reads as "OFFSET SIZE RESULT", RESULT being
// the bytes served or the negated errno, so tests can count failing reads.
//
// The description file may be replaced while the medium is mounted: from the
// next read on, the failing stretches of the new one (hard, soft, errno,
// hard-every) and its delay take the place of the old ones, as when a disc
// is cleaned or put in another drive; nothing else of it changes.
//
// Usage: faulty_medium DESCRIPTION LOG MOUNTPOINT
#define FUSE_USE_VERSION 31
#include "medium_pattern.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <fuse.h>
#include <map>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct FailingRange
{
    std::uint64_t start, end;
    int failuresLeft; // negative: for ever
    int error = EIO;
};

// Something done to the world outside the medium at a chosen moment, so that
// a race a test needs happens exactly between two chunks.
struct ReadHook
{
    std::uint64_t offset = 0;
    std::vector<std::string> action;
    bool done = false;
};

// Stretches that fail at a fixed pace, too many to list one by one.
struct FailingPattern
{
    std::uint64_t start, period, length, count;

    // The first stretch of the pattern that ends after `offset`, if any.
    bool firstAfter(std::uint64_t offset, std::uint64_t& from, std::uint64_t& to) const
    {
        std::uint64_t index = 0;
        if (offset >= start + length)
            index = (offset - start - length) / period + 1;
        if (index >= count)
            return false;
        from = start + index * period;
        to = from + length;
        return true;
    }
};

struct MediumFile
{
    std::uint64_t size = 0;
    std::uint8_t seed = 0;
    std::string image; // where the bytes come from; empty: the pattern
    std::vector<FailingRange> failing;
    std::vector<FailingPattern> patterns;
    std::vector<ReadHook> hooks;
};

// A file or folder made on a writable medium, by its path from the root.
struct MadeNode
{
    bool folder = false;
    mode_t mode = 0644;
    std::string bytes;
    timespec modified{};
    timespec changed{};
};

// Calls that fail the next `count` times, on one made file.
struct FailingCall
{
    int error = EIO;
    int count = 0;
};

struct Medium
{
    std::map<std::string, MediumFile> files;
    bool writable = false;
    std::map<std::string, MadeNode> made; // "out", "out/a.bin", ...
    std::map<std::string, FailingCall> failingFsync;
    std::map<std::string, FailingCall> failingFlush;
    int delayMs = 0;
    long paceMicroseconds = 0; // per 64 KiB served
    long ejectAfter = 0;       // 0: never
    int ejectError = EIO;
    bool directIo = false;
    bool kernelCache = false;
    bool failsWhole = false;
    unsigned long blockSize = 2048; // a CD's sector
    std::uint64_t sector = 0;       // 0: the block size

    // The sectors that hold [from, to): the bytes a drive cannot give.
    std::uint64_t sectorStart(std::uint64_t from) const { return from / sector * sector; }
    std::uint64_t sectorEnd(std::uint64_t to) const { return (to + sector - 1) / sector * sector; }
    long reads = 0;
    std::string descriptionPath;
    struct timespec describedAt
    {};
    ino_t describedIn = 0;
    std::string logPath;
    std::ofstream readLog;

    bool ejected() const { return ejectAfter > 0 && reads >= ejectAfter; }
    void log(const std::string& line) const
    {
        std::ofstream(logPath, std::ios::app) << line << '\n';
    }
};

Medium& medium()
{
    return *static_cast<Medium*>(fuse_get_context()->private_data);
}

const MediumFile* fileAt(const char* path)
{
    auto& files = medium().files;
    const auto found = files.find(path + 1); // past the leading "/"
    return found == files.end() ? nullptr : &found->second;
}

bool readDescription(const char* path, Medium& into)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, name;
        words >> kind;
        if (kind == "file") {
            unsigned seed = 0;
            words >> name;
            words >> into.files[name].size >> seed;
            into.files[name].seed = static_cast<std::uint8_t>(seed);
        } else if (kind == "image") {
            words >> name >> into.files[name].image;
            struct stat status
            {};
            if (::stat(into.files[name].image.c_str(), &status) != 0) {
                std::fprintf(stderr, "faulty_medium: no image: %s\n", line.c_str());
                return false;
            }
            into.files[name].size = static_cast<std::uint64_t>(status.st_size);
        } else if (kind == "hard" || kind == "soft" || kind == "errno") {
            FailingRange range{0, 0, -1};
            words >> name >> range.start >> range.end;
            if (kind == "soft")
                words >> range.failuresLeft;
            if (kind == "errno")
                words >> range.error;
            into.files[name].failing.push_back(range);
        } else if (kind == "hard-every") {
            FailingPattern pattern{};
            words >> name >> pattern.start >> pattern.period >> pattern.length >> pattern.count;
            into.files[name].patterns.push_back(pattern);
        } else if (kind == "block-size") {
            words >> into.blockSize;
        } else if (kind == "sector") {
            words >> into.sector;
        } else if (kind == "at-read") {
            ReadHook hook;
            words >> name >> hook.offset;
            for (std::string word; words >> word;)
                hook.action.push_back(word);
            words.clear();
            into.files[name].hooks.push_back(hook);
        } else if (kind == "delay") {
            words >> into.delayMs;
        } else if (kind == "pace") {
            words >> into.paceMicroseconds;
        } else if (kind == "eject-after") {
            words >> into.ejectAfter;
            if (!(words >> into.ejectError)) {
                into.ejectError = EIO;
                words.clear();
            }
        } else if (kind == "direct-io") {
            into.directIo = true;
        } else if (kind == "kernel-cache") {
            into.kernelCache = true;
        } else if (kind == "fails-whole") {
            into.failsWhole = true;
        } else if (kind == "writable") {
            into.writable = true;
        } else if (kind == "fail-fsync" || kind == "fail-flush") {
            FailingCall call;
            words >> name >> call.error >> call.count;
            (kind == "fail-fsync" ? into.failingFsync : into.failingFlush)[name] = call;
        } else if (!kind.empty()) {
            std::fprintf(stderr, "faulty_medium: unknown line: %s\n", line.c_str());
            return false;
        }
        const bool bare = kind == "direct-io" || kind == "kernel-cache" || kind == "fails-whole" ||
                          kind == "writable";
        if (!words && !bare && !kind.empty()) {
            std::fprintf(stderr, "faulty_medium: bad line: %s\n", line.c_str());
            return false;
        }
    }
    if (into.sector == 0)
        into.sector = into.blockSize;
    return true;
}

// Takes up the failing stretches of a description file written again.
void followDescription(Medium& m)
{
    struct stat status
    {};
    if (::stat(m.descriptionPath.c_str(), &status) != 0 ||
        (status.st_ino == m.describedIn && status.st_mtim.tv_sec == m.describedAt.tv_sec &&
         status.st_mtim.tv_nsec == m.describedAt.tv_nsec))
        return;
    Medium again;
    if (!readDescription(m.descriptionPath.c_str(), again))
        return;
    m.describedIn = status.st_ino;
    m.describedAt = status.st_mtim;
    m.delayMs = again.delayMs;
    for (auto& [name, file] : m.files) {
        file.failing = again.files[name].failing;
        file.patterns = again.files[name].patterns;
    }
}

void* initMedium(fuse_conn_info*, fuse_config* config)
{
    auto& m = medium();
    // Every stat and lookup reaches us, so an ejected medium shows at once.
    config->attr_timeout = 0;
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    config->direct_io = m.directIo ? 1 : 0;
    config->kernel_cache = m.kernelCache ? 1 : 0;
    return &m;
}

MadeNode* madeAt(const char* path)
{
    auto& made = medium().made;
    const auto found = made.find(path + 1);
    return found == made.end() ? nullptr : &found->second;
}

timespec now()
{
    timespec time{};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return time;
}

// The folder a path is in, as a key of `made` ("" for the root).
std::string parentOf(const char* path)
{
    const std::string relative(path + 1);
    const auto slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

// Whether a new node may be made at the path: a writable medium, a folder
// to put it in, and nothing there yet.
int canMake(const char* path)
{
    if (!medium().writable)
        return -EROFS;
    const auto parent = parentOf(path);
    const auto* folder = parent.empty() ? nullptr : madeAt(("/" + parent).c_str());
    if (!parent.empty() && (folder == nullptr || !folder->folder))
        return -ENOENT;
    return fileAt(path) != nullptr || madeAt(path) != nullptr ? -EEXIST : 0;
}

int getAttributes(const char* path, struct stat* attributes, fuse_file_info*)
{
    std::memset(attributes, 0, sizeof *attributes);
    if (std::strcmp(path, "/") == 0) {
        attributes->st_mode = S_IFDIR | (medium().writable ? 0755 : 0555);
        attributes->st_nlink = 2;
        return 0;
    }
    if (const auto* node = madeAt(path)) {
        attributes->st_mode = (node->folder ? S_IFDIR : S_IFREG) | node->mode;
        attributes->st_nlink = node->folder ? 2 : 1;
        attributes->st_size = static_cast<off_t>(node->bytes.size());
        attributes->st_blocks = static_cast<blkcnt_t>((node->bytes.size() + 511) / 512);
        attributes->st_mtim = node->modified;
        attributes->st_ctim = node->changed;
        return 0;
    }
    const auto* file = fileAt(path);
    if (file == nullptr)
        return -ENOENT;
    if (medium().ejected())
        return -medium().ejectError;
    attributes->st_mode = S_IFREG | 0444;
    attributes->st_nlink = 1;
    attributes->st_size = static_cast<off_t>(file->size);
    attributes->st_blocks = static_cast<blkcnt_t>((file->size + 511) / 512);
    return 0;
}

int listFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags)
{
    const bool root = std::strcmp(path, "/") == 0;
    const auto* folder = root ? nullptr : madeAt(path);
    if (!root && (folder == nullptr || !folder->folder))
        return -ENOENT;
    fill(buffer, ".", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(buffer, "..", nullptr, 0, FUSE_FILL_DIR_PLUS);
    if (root)
        for (const auto& [name, file] : medium().files)
            fill(buffer, name.c_str(), nullptr, 0, FUSE_FILL_DIR_PLUS);
    const std::string prefix = root ? std::string() : std::string(path + 1) + "/";
    for (const auto& [name, node] : medium().made)
        if (name.rfind(prefix, 0) == 0 && name.find('/', prefix.size()) == std::string::npos)
            fill(buffer, name.c_str() + prefix.size(), nullptr, 0, FUSE_FILL_DIR_PLUS);
    return 0;
}

int makeFolder(const char* path, mode_t mode)
{
    if (const int refused = canMake(path))
        return refused;
    auto& node = medium().made[path + 1];
    node.folder = true;
    node.mode = mode & 07777;
    node.modified = node.changed = now();
    return 0;
}

// A handle's `fh` says whether it was opened for writing: only such a close
// can lose data.
int createFile(const char* path, mode_t mode, fuse_file_info* info)
{
    if (const int refused = canMake(path))
        return refused;
    info->fh = 1;
    auto& node = medium().made[path + 1];
    node.mode = mode & 07777;
    node.modified = node.changed = now();
    return 0;
}

int writeFile(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    auto* node = madeAt(path);
    if (node == nullptr || node->folder)
        return -EBADF;
    const auto end = static_cast<std::size_t>(offset) + size;
    if (node->bytes.size() < end)
        node->bytes.resize(end);
    std::memcpy(node->bytes.data() + offset, buffer, size);
    node->modified = node->changed = now();
    return static_cast<int>(size);
}

int truncateFile(const char* path, off_t size, fuse_file_info*)
{
    auto* node = madeAt(path);
    if (node == nullptr)
        return fileAt(path) != nullptr ? -EROFS : -ENOENT;
    node->bytes.resize(static_cast<std::size_t>(size));
    node->modified = node->changed = now();
    return 0;
}

int setTimes(const char* path, const timespec times[2], fuse_file_info*)
{
    auto* node = madeAt(path);
    if (node == nullptr)
        return fileAt(path) != nullptr ? -EROFS : -ENOENT;
    if (times[1].tv_nsec == UTIME_NOW)
        node->modified = now();
    else if (times[1].tv_nsec != UTIME_OMIT)
        node->modified = times[1];
    node->changed = now();
    return 0;
}

int changeMode(const char* path, mode_t mode, fuse_file_info*)
{
    auto* node = madeAt(path);
    if (node == nullptr)
        return fileAt(path) != nullptr ? -EROFS : -ENOENT;
    node->mode = mode & 07777;
    node->changed = now();
    return 0;
}

int renameNode(const char* from, const char* to, unsigned int)
{
    auto& made = medium().made;
    const auto found = made.find(from + 1);
    if (found == made.end() || found->second.folder)
        return found == made.end() ? -ENOENT : -EXDEV; // folders stay where they are
    auto node = found->second;
    made.erase(found);
    node.changed = now();
    made[to + 1] = node;
    return 0;
}

int removeFile(const char* path)
{
    auto& made = medium().made;
    const auto found = made.find(path + 1);
    if (found == made.end() || found->second.folder)
        return found == made.end() ? -ENOENT : -EISDIR;
    made.erase(found);
    return 0;
}

// The next failure of a call on a made file, or 0.
int failure(std::map<std::string, FailingCall>& calls, const char* path)
{
    const auto found = calls.find(path + 1);
    if (found == calls.end() || found->second.count == 0)
        return 0;
    --found->second.count;
    return -found->second.error;
}

int syncFile(const char* path, int, fuse_file_info*)
{
    return failure(medium().failingFsync, path);
}

int flushFile(const char* path, fuse_file_info* info)
{
    return info->fh == 0 ? 0 : failure(medium().failingFlush, path);
}

int syncFolder(const char*, int, fuse_file_info*)
{
    return 0;
}

int openFile(const char* path, fuse_file_info* info)
{
    if (const auto* node = madeAt(path)) {
        info->fh = (info->flags & O_ACCMODE) == O_RDONLY ? 0 : 1;
        return node->folder ? -EISDIR : 0;
    }
    if (fileAt(path) == nullptr)
        return -ENOENT;
    if ((info->flags & O_ACCMODE) != O_RDONLY) {
        medium().log(std::string("opened for writing: ") + (path + 1));
        return -EROFS;
    }
    return medium().ejected() ? -medium().ejectError : 0;
}

void runHook(const std::vector<std::string>& action)
{
    if (action.size() == 3 && action[0] == "symlink") {
        const auto temporary = action[2] + ".swap";
        ::unlink(temporary.c_str());
        struct stat status
        {};
        if (::lstat(action[2].c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
            ::rename(action[2].c_str(), (action[2] + ".moved").c_str()) != 0)
            std::perror("faulty_medium: at-read symlink: moving the folder away");
        if (::symlink(action[1].c_str(), temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), action[2].c_str()) != 0)
            std::perror("faulty_medium: at-read symlink");
    } else if (action.size() == 2 && action[0] == "replace") {
        if (::rename(action[1].c_str(), (action[1] + ".moved").c_str()) != 0 ||
            !std::ofstream(action[1]))
            std::perror("faulty_medium: at-read replace");
    } else if (action.size() == 1 && action[0] == "interrupt") {
        ::kill(fuse_get_context()->pid, SIGINT);
    } else if (action.size() == 1 && action[0] == "terminate") {
        ::kill(fuse_get_context()->pid, SIGTERM);
    } else {
        std::fputs("faulty_medium: unknown at-read action\n", stderr);
    }
}

void serveImage(const std::string& image, char* buffer, std::uint64_t start, std::uint64_t end)
{
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(start));
    in.read(buffer, static_cast<std::streamsize>(end - start));
}

int serve(Medium& m, MediumFile& file, char* buffer, size_t size, off_t offset)
{
    const auto fail = [&m](int error) {
        if (m.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m.delayMs));
        return -error;
    };
    if (m.ejected())
        return fail(m.ejectError);
    const auto start = static_cast<std::uint64_t>(offset);
    if (start >= file.size)
        return 0;
    auto end = std::min<std::uint64_t>(file.size, start + size);
    for (auto& hook : file.hooks) {
        if (!hook.done && hook.offset >= start && hook.offset < end) {
            hook.done = true;
            runHook(hook.action);
        }
    }
    // Served up to the first bad sector, where the medium gives what lies
    // before one; the next read meets it.
    const bool servesUpToIt = m.directIo && !m.failsWhole;
    for (const auto& pattern : file.patterns) {
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        if (!pattern.firstAfter(m.sectorStart(start), from, to) || m.sectorStart(from) >= end)
            continue;
        if (m.sectorStart(from) > start && servesUpToIt)
            end = m.sectorStart(from);
        else
            return fail(EIO);
    }
    for (auto& range : file.failing) {
        const auto from = m.sectorStart(range.start);
        if (range.failuresLeft == 0 || m.sectorEnd(range.end) <= start || from >= end)
            continue;
        if (from > start && servesUpToIt) {
            end = from;
            continue;
        }
        if (range.failuresLeft > 0)
            --range.failuresLeft;
        return fail(range.error);
    }
    if (!file.image.empty())
        serveImage(file.image, buffer, start, end);
    else
        for (auto position = start; position < end; ++position)
            buffer[position - start] =
                static_cast<char>(brindlecap::testing::mediumByte(position, file.seed));
    if (m.paceMicroseconds > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(
            m.paceMicroseconds * static_cast<long>(end - start) / (64 * 1024)));
    return static_cast<int>(end - start);
}

int readFile(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    auto& m = medium();
    if (const auto* node = madeAt(path)) {
        const auto start = std::min(node->bytes.size(), static_cast<std::size_t>(offset));
        const auto length = std::min(size, node->bytes.size() - start);
        std::memcpy(buffer, node->bytes.data() + start, length);
        return static_cast<int>(length);
    }
    auto* file = const_cast<MediumFile*>(fileAt(path));
    if (file == nullptr)
        return -ENOENT;
    followDescription(m);
    ++m.reads;
    const int result = serve(m, *file, buffer, size, offset);
    m.readLog << offset << ' ' << size << ' ' << result << std::endl;
    return result;
}

int describeVolume(const char*, struct statvfs* volume)
{
    std::memset(volume, 0, sizeof *volume);
    std::uint64_t total = 0;
    for (const auto& [name, file] : medium().files)
        total += file.size;
    auto& m = medium();
    volume->f_bsize = volume->f_frsize = m.blockSize;
    volume->f_blocks = (total + m.blockSize - 1) / m.blockSize;
    volume->f_namemax = 255;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: faulty_medium DESCRIPTION LOG MOUNTPOINT\n", stderr);
        return 2;
    }
    Medium state;
    state.logPath = argv[2];
    state.readLog.open(state.logPath + ".reads", std::ios::app);
    state.descriptionPath = argv[1];
    if (!readDescription(argv[1], state))
        return 2;
    followDescription(state); // notes which description this is
    fuse_operations operations{};
    operations.init = initMedium;
    operations.getattr = getAttributes;
    operations.readdir = listFolder;
    operations.open = openFile;
    operations.read = readFile;
    operations.statfs = describeVolume;
    operations.mkdir = makeFolder;
    operations.create = createFile;
    operations.write = writeFile;
    operations.truncate = truncateFile;
    operations.utimens = setTimes;
    operations.chmod = changeMode;
    operations.rename = renameNode;
    operations.unlink = removeFile;
    operations.fsync = syncFile;
    operations.flush = flushFile;
    operations.fsyncdir = syncFolder;
    // Foreground, one thread (the failure counts need no locks). Not mounted
    // read-only, so that an open for writing reaches us and is logged.
    char program[] = "faulty_medium", foreground[] = "-f", single[] = "-s", option[] = "-o",
         names[] = "fsname=faulty_medium,subtype=faulty_medium";
    char* fuseArguments[] = {program, foreground, single, option, names, argv[3], nullptr};
    return fuse_main(6, fuseArguments, &operations, &state);
}
