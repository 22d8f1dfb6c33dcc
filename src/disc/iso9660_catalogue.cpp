// SPDX-License-Identifier: GPL-3.0-or-later
#include "iso9660_catalogue.h"

#include "disc_file_names.h"
#include "disc_words.h"

#include <algorithm>
#include <array>
#include <cdio/bytesex.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>

// This one header of libcdio's leaves out the C linkage the others declare.
extern "C" {
#include <cdio/utf8.h>
}

namespace brindlecap {

namespace {

constexpr std::int64_t sector = DiscSectors::sectorSize;
// The volume descriptors start at sector 16 and end with a terminator; a
// disc that has none within this many is taken to have no more.
constexpr int descriptorsLooked = 64;
// More than any real folder (some hundred thousand entries): a crafted
// length must not make the listing read the whole disc.
constexpr std::int64_t largestFolder = 16 << 20;
// A directory record's fixed part, up to its name's length.
constexpr std::size_t recordHead = offsetof(iso9660_dir_t, filename) + 1;
// How deep Rock Ridge continuation areas are followed.
constexpr int continuationsFollowed = 4;

enum class Naming
{
    rockRidge,
    joliet,
    plain,
};

const char* treeName(Naming naming)
{
    switch (naming) {
    case Naming::rockRidge:
        return "Rock Ridge";
    case Naming::joliet:
        return "Joliet";
    case Naming::plain:
        break;
    }
    return "ISO 9660";
}

// Where a copy of a tree's path table starts; big-endian: an M table.
struct PathTableCopy
{
    std::uint32_t sector = 0; // 0: none
    bool bigEndian = false;
};

struct Tree
{
    Naming naming = Naming::plain;
    iso9660_dir_t root{};
    // Every folder of the tree, with where it starts and its parent, in up
    // to four copies: the folders below one whose sectors fail are still
    // found through it.
    std::int64_t pathTableSize = 0;
    std::array<PathTableCopy, 4> pathTables{};
};

// A folder as a path table lists it.
struct TableFolder
{
    std::string name;
    std::int64_t sector = 0;
    std::size_t parent = 0; // index of its parent in the table
};

std::uint32_t bothEndian(iso733_t value)
{
    // The little-endian half, as Linux reads it; a disc whose halves
    // disagree is damaged, and the other half is no more to be trusted.
    bool disagree = false;
    return from_733_with_err(value, &disagree);
}

std::string withoutVersion(std::string name)
{
    const auto semicolon = name.rfind(';');
    if (semicolon != std::string::npos &&
        name.find_first_not_of("0123456789", semicolon + 1) == std::string::npos)
        name.resize(semicolon);
    return name;
}

std::string jolietName(std::string_view bytes)
{
    cdio_utf8_t* text = nullptr;
    if (!cdio_charset_to_utf8(bytes.data(), bytes.size(), &text, "UCS-2BE") || text == nullptr)
        return std::string(bytes);
    const std::unique_ptr<char, decltype(&std::free)> owned(text, &std::free);
    return withoutVersion(text);
}

std::string plainName(std::string_view bytes)
{
    // As Linux shows such a name: lower case, without its version.
    const std::string name(bytes);
    std::string translated(name.size() + 1, '\0');
    const auto length = iso9660_name_translate_ext(name.c_str(), translated.data(), 0);
    translated.resize(static_cast<std::size_t>(std::max(length, 0)));
    return translated;
}

FileTime recordedTime(const iso9660_dtime_t& recorded)
{
    struct tm time
    {};
    if (!iso9660_get_dtime(&recorded, false, &time))
        return {};
    return {static_cast<std::int64_t>(::timegm(&time)), 0};
}

class TreeWalk
{
public:
    TreeWalk(DiscSectors& sectors, Naming naming) : m_sectors(sectors), m_naming(naming) {}

    TreeListing walk(const Tree& tree)
    {
        m_pending.push_back({"", bothEndian(tree.root.extent), bothEndian(tree.root.size)});
        drain();
        // The folders no folder above led to: their parents' sectors failed.
        const auto table = readPathTable(tree);
        std::vector<std::string> paths(table.size());
        for (std::size_t index = 1; index < table.size(); ++index) {
            const auto& folder = table[index];
            const auto reached = m_pathOf.find(folder.sector);
            const auto parent = m_pathOf.find(table[folder.parent].sector);
            if (reached != m_pathOf.end())
                paths[index] = reached->second;
            else if (parent != m_pathOf.end())
                paths[index] = joined(parent->second, fileNameFor(folder.name));
            else
                paths[index] = joined(paths[folder.parent], fileNameFor(folder.name));
            if (!m_visited.contains(folder.sector)) {
                m_pending.push_back({paths[index], folder.sector, -1, true});
                drain();
            }
        }
        m_listing.tree = treeName(m_naming);
        m_listing.names = m_naming == Naming::rockRidge ? TreeNames::rockRidge
                          : m_naming == Naming::joliet  ? TreeNames::joliet
                                                        : TreeNames::iso9660;
        return std::move(m_listing);
    }

private:
    struct Folder
    {
        std::string path;
        std::int64_t sector = 0;
        std::int64_t size = 0;     // -1: as its own first entry says
        bool throughTable = false; // reached through the path table
    };

    static std::string joined(const std::string& folder, const std::string& name)
    {
        return folder.empty() ? name : folder + "/" + name;
    }

    void drain()
    {
        while (!m_pending.empty()) {
            auto folder = m_pending.back();
            m_pending.pop_back();
            // A folder met again (a crafted loop) is listed once.
            if (m_visited.insert(folder.sector).second && learnSize(folder))
                list(folder);
        }
    }

    // A folder found through the path table has its length in its own
    // first entry.
    bool learnSize(Folder& folder)
    {
        if (folder.size >= 0)
            return true;
        std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
        const auto read = m_sectors.read(folder.sector * sector, bytes);
        if (!DiscSectors::whole(read, 0, sector)) {
            m_listing.unlisted.push_back({folder.path, treeName(m_naming), false, false});
            return false;
        }
        iso9660_dir_t self{};
        std::memcpy(&self, bytes.data(), recordHead);
        folder.size = bothEndian(self.size);
        return true;
    }

    // The first copy of the tree's path table that reads whole.
    std::vector<TableFolder> readPathTable(const Tree& tree)
    {
        const auto size = std::min(tree.pathTableSize, largestFolder);
        for (const auto& copy : tree.pathTables) {
            if (copy.sector == 0 || size <= 0)
                continue;
            std::vector<std::byte> bytes(static_cast<std::size_t>(size));
            const auto read = m_sectors.read(std::int64_t{copy.sector} * sector, bytes);
            if (DiscSectors::whole(read, 0, size))
                return tableFolders(bytes, copy.bigEndian);
        }
        return {};
    }

    std::vector<TableFolder> tableFolders(std::span<const std::byte> bytes, bool bigEndian) const
    {
        std::vector<TableFolder> folders;
        constexpr std::size_t head = 8;
        for (std::size_t at = 0; at + head <= bytes.size();) {
            const auto nameLength = std::to_integer<std::size_t>(bytes[at]);
            if (nameLength == 0 || at + head + nameLength > bytes.size())
                break;
            const auto parent = wordAt(bytes, at + 6, 2, bigEndian);
            // Parents come before their folders; anything else is damage.
            if (parent == 0 || parent > folders.size() + 1)
                break;
            const std::string_view name(reinterpret_cast<const char*>(bytes.data() + at + head),
                                        nameLength);
            folders.push_back({m_naming == Naming::joliet ? jolietName(name) : plainName(name),
                               wordAt(bytes, at + 2, 4, bigEndian), parent - 1U});
            at += head + nameLength + nameLength % 2;
        }
        return folders;
    }

    struct Entry
    {
        iso9660_dir_t head{};
        std::string_view rawName;
        std::span<const std::byte> systemUse;
    };

    void list(const Folder& folder)
    {
        const auto length = std::min((folder.size + sector - 1) / sector * sector, largestFolder);
        std::vector<std::byte> bytes(static_cast<std::size_t>(length));
        const auto read = m_sectors.read(folder.sector * sector, bytes);
        std::vector<Folder> subfolders;
        std::set<std::string> taken;
        bool anyRead = false;
        bool anyFailed = read.bytes < length;
        for (std::int64_t at = 0; at + sector <= read.bytes; at += sector) {
            if (!DiscSectors::whole(read, at, sector)) {
                anyFailed = true;
                continue;
            }
            anyRead = true;
            listSector(folder, std::span(bytes).subspan(static_cast<std::size_t>(at), sector),
                       subfolders, taken);
        }
        finishFile();
        if (anyRead) {
            m_listing.folders.insert(folder.path);
            m_pathOf.emplace(folder.sector, folder.path);
        }
        if (anyFailed)
            m_listing.unlisted.push_back({folder.path, treeName(m_naming), anyRead, false});
        // The stack takes the last first: pushed backwards, folders are
        // listed in the order the disc has them.
        m_pending.insert(m_pending.end(), subfolders.rbegin(), subfolders.rend());
    }

    void listSector(const Folder& folder, std::span<const std::byte> bytes,
                    std::vector<Folder>& subfolders, std::set<std::string>& taken)
    {
        std::size_t at = 0;
        while (at + recordHead <= bytes.size()) {
            const auto length = std::to_integer<std::size_t>(bytes[at]);
            // A zero length pads the sector's end; a record that does not
            // fit is damage, and so is the rest of the sector.
            if (length < recordHead || at + length > bytes.size())
                return;
            Entry entry;
            std::memcpy(&entry.head, bytes.data() + at, recordHead);
            const std::size_t nameLength = entry.head.filename.len;
            if (recordHead + nameLength > length)
                return;
            const auto* name = reinterpret_cast<const char*>(bytes.data() + at + recordHead);
            entry.rawName = {name, nameLength};
            const auto padding = nameLength % 2 == 0 ? 1U : 0U;
            const auto systemUse = std::min(length, recordHead + nameLength + padding + m_skip);
            entry.systemUse = bytes.subspan(at + systemUse, length - systemUse);
            takeEntry(folder, entry, subfolders, taken);
            at += length;
        }
    }

    void takeEntry(const Folder& folder, const Entry& entry, std::vector<Folder>& subfolders,
                   std::set<std::string>& taken)
    {
        if (entry.rawName.size() == 1 && (entry.rawName[0] == '\0' || entry.rawName[0] == '\1')) {
            // The root's own entry says whether the disc has Rock Ridge.
            if (entry.rawName[0] == '\0' && folder.path.empty() && m_naming == Naming::plain)
                lookForRockRidge(entry.systemUse);
            return;
        }
        const auto extent =
            static_cast<std::int64_t>(bothEndian(entry.head.extent)) + entry.head.xa_length;
        const auto size = static_cast<std::int64_t>(bothEndian(entry.head.size));
        if (m_file && m_file->rawName == entry.rawName && m_file->more) {
            m_file->disc.extents.push_back({extent * sector, size});
            m_file->disc.size += size;
            m_file->more = (entry.head.file_flags & ISO_MULTIEXTENT) != 0;
            return;
        }
        finishFile();
        const auto onDisc = nameOf(entry);
        auto made = fileNameFor(onDisc);
        for (int copy = 2; !taken.insert(made).second; ++copy)
            made = fileNameFor(onDisc) + " (" + std::to_string(copy) + ")";
        if (made != onDisc)
            m_listing.renamed.push_back({folder.path, onDisc, made});
        const auto path = joined(folder.path, made);
        if ((entry.head.file_flags & ISO_DIRECTORY) != 0) {
            subfolders.push_back({path, extent, size, folder.throughTable});
            return;
        }
        m_file = std::make_unique<OpenFile>();
        m_file->rawName = std::string(entry.rawName);
        m_file->more = (entry.head.file_flags & ISO_MULTIEXTENT) != 0;
        m_file->disc.path = path;
        m_file->disc.extents.push_back({extent * sector, size});
        m_file->disc.size = size;
        m_file->disc.modified = recordedTime(entry.head.recording_time);
        m_file->disc.tree = treeName(m_naming);
        if (folder.throughTable)
            m_file->disc.tree += " path table";
    }

    // A file recorded in pieces is complete when its last piece is met, or
    // when the folder or the run of pieces ends.
    void finishFile()
    {
        if (m_file)
            m_listing.files.push_back(std::move(m_file->disc));
        m_file.reset();
    }

    std::string nameOf(const Entry& entry)
    {
        if (m_naming == Naming::joliet)
            return jolietName(entry.rawName);
        if (m_naming == Naming::rockRidge) {
            std::string name;
            if (rockRidgeName(entry.systemUse, name, 0))
                return name;
        }
        return plainName(entry.rawName);
    }

    void lookForRockRidge(std::span<const std::byte> systemUse)
    {
        // SUSP's "SP" entry: its 7th byte is how many bytes to skip in every
        // record's system use area.
        if (systemUse.size() >= 7 && systemUse[0] == std::byte{'S'} &&
            systemUse[1] == std::byte{'P'} && systemUse[4] == std::byte{0xBE} &&
            systemUse[5] == std::byte{0xEF}) {
            m_naming = Naming::rockRidge;
            m_skip = std::to_integer<std::size_t>(systemUse[6]);
        }
    }

    // Gathers the "NM" entries of a system use area and of the continuation
    // areas it names; false where it has none.
    bool rockRidgeName(std::span<const std::byte> area, std::string& name, int depth)
    {
        bool found = false;
        std::size_t at = 0;
        while (at + 4 <= area.size()) {
            const auto length = std::to_integer<std::size_t>(area[at + 2]);
            if (length < 4 || at + length > area.size())
                break;
            const auto entry = area.subspan(at, length);
            const auto is = [&](char first, char second) {
                return entry[0] == std::byte(first) && entry[1] == std::byte(second);
            };
            if (is('N', 'M') && length >= 5 && (std::to_integer<unsigned>(entry[4]) & 0x6U) == 0) {
                name.append(reinterpret_cast<const char*>(entry.data() + 5), length - 5);
                found = true;
            } else if (is('C', 'E') && length >= 28 && depth < continuationsFollowed) {
                found = followContinuation(entry, name, depth) || found;
            } else if (is('S', 'T')) {
                break;
            }
            at += length;
        }
        return found;
    }

    bool followContinuation(std::span<const std::byte> entry, std::string& name, int depth)
    {
        const auto block = static_cast<std::int64_t>(wordAt(entry, 4, 4));
        const auto offset = static_cast<std::int64_t>(wordAt(entry, 12, 4));
        const auto length = static_cast<std::int64_t>(wordAt(entry, 20, 4));
        if (offset + length > sector)
            return false;
        std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
        const auto read = m_sectors.read(block * sector, bytes);
        if (!DiscSectors::whole(read, offset, length))
            return false;
        return rockRidgeName(std::span(bytes).subspan(static_cast<std::size_t>(offset),
                                                      static_cast<std::size_t>(length)),
                             name, depth + 1);
    }

    struct OpenFile
    {
        std::string rawName;
        bool more = false;
        DiscFile disc;
    };

    DiscSectors& m_sectors;
    Naming m_naming;
    TreeListing m_listing;
    std::vector<Folder> m_pending;
    std::set<std::int64_t> m_visited;             // tried, read or not
    std::map<std::int64_t, std::string> m_pathOf; // the folders read, by first sector
    std::unique_ptr<OpenFile> m_file;
    std::size_t m_skip = 0;
};

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') + 1 - first));
}

template <typename Descriptor> std::array<PathTableCopy, 4> pathTablesOf(const Descriptor& read)
{
    return {{{from_731(read.type_l_path_table), false},
             {from_731(read.opt_type_l_path_table), false},
             {from_732(read.type_m_path_table), true},
             {from_732(read.opt_type_m_path_table), true}}};
}

bool isJoliet(const iso9660_svd_t& descriptor)
{
    const std::string_view escapes(descriptor.escape_sequences, 3);
    return escapes == "%/@" || escapes == "%/C" || escapes == "%/E";
}

// The primary and Joliet descriptors, and the label; a descriptor sector
// that does not read is passed over, and the next ones are still looked at.
std::vector<Tree> readDescriptors(DiscSectors& sectors, Iso9660Trees& found)
{
    std::vector<Tree> trees;
    std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
    for (int index = 0; index < descriptorsLooked; ++index) {
        const auto read = sectors.read((ISO_PVD_SECTOR + index) * sector, bytes);
        if (read.error || read.bytes < sector)
            break;
        if (!DiscSectors::whole(read, 0, sector))
            continue;
        found.descriptorsRead = true;
        if (std::memcmp(bytes.data() + 1, ISO_STANDARD_ID, 5) != 0)
            break;
        const auto type = std::to_integer<int>(bytes[0]);
        if (type == ISO_VD_END)
            break;
        if (type == ISO_VD_PRIMARY) {
            iso9660_pvd_t primary{};
            std::memcpy(&primary, bytes.data(), sizeof primary);
            found.label = trimmed({primary.volume_id, sizeof primary.volume_id});
            trees.push_back({Naming::plain, primary.root_directory_record,
                             bothEndian(primary.path_table_size), pathTablesOf(primary)});
        } else if (type == ISO_VD_SUPPLEMENTARY) {
            iso9660_svd_t supplementary{};
            std::memcpy(&supplementary, bytes.data(), sizeof supplementary);
            if (!isJoliet(supplementary))
                continue;
            trees.push_back({Naming::joliet, supplementary.root_directory_record,
                             bothEndian(supplementary.path_table_size),
                             pathTablesOf(supplementary)});
            if (found.label.empty())
                found.label = jolietName({supplementary.volume_id, sizeof supplementary.volume_id});
        }
    }
    return trees;
}

} // namespace

Iso9660Trees readIso9660(DiscSectors& sectors)
{
    // A damaged disc's records are expected here; the library's own
    // warnings about them would only clutter the terminal.
    cdio_loglevel_default = CDIO_LOG_ERROR;
    Iso9660Trees found;
    for (const auto& tree : readDescriptors(sectors, found))
        found.listings.push_back(TreeWalk(sectors, tree.naming).walk(tree));
    return found;
}

} // namespace brindlecap
