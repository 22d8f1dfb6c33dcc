// SPDX-License-Identifier: GPL-3.0-or-later
// Files off a disc whose folders do not all read: an image made here with
// xorriso (ISO 9660 with Rock Ridge and Joliet trees), genisoimage (UDF
// beside them) or as a Blu-ray has it, served by the FUSE medium with bad
// sectors where a scratch takes them, read with --disc.
#include "blu_ray_image.h"
#include "media_job.h"
#include "run_process.h"
#include "test_mounts.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/mount.h>
#include <udfread/udfread.h>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;
constexpr const char* xorriso = "/usr/bin/xorriso";
constexpr const char* isoinfo = "/usr/bin/isoinfo";

// The disc's files by path, as they were put on it.
const std::map<std::string, Bytes>& discFiles()
{
    static const std::map<std::string, Bytes> files{
        {"DCIM/100CANON/IMG_0001.JPG", patternBytes(100'000, 3)},
        {"DCIM/100CANON/IMG_0002.JPG", patternBytes(50'000, 5)},
        {"Long folder name with spaces/a file named éclair.txt", patternBytes(5'000, 7)},
        {"VIDEO_TS/VTS_01_1.VOB", patternBytes(300'000, 9)},
    };
    return files;
}

// Where a folder of one of the disc's trees starts (its first sector), as
// genisoimage's isoinfo reads the image: "-R" the primary tree, "-J" Joliet.
std::int64_t folderSector(const std::string& image, const char* tree, const std::string& folder)
{
    const auto listing = runProcess(isoinfo, {tree, "-l", "-i", image});
    std::istringstream lines(listing.out);
    const auto heading = "Directory listing of /" + (folder.empty() ? "" : folder + "/");
    for (std::string line; std::getline(lines, line);) {
        if (line != heading)
            continue;
        std::getline(lines, line); // its "." entry: "... [     51 02]  ."
        return std::stoll(line.substr(line.find('[') + 1));
    }
    ADD_FAILURE() << "no folder " << folder << " in " << listing.out;
    return 0;
}

std::int64_t fileSector(const std::string& image, const std::string& path)
{
    const auto report =
        runProcess(xorriso, {"-indev", image, "-find", "/" + path, "-exec", "report_lba"});
    const auto at = report.out.find("File data lba:");
    EXPECT_NE(at, std::string::npos) << report.out << report.err;
    std::istringstream fields(report.out.substr(report.out.find(',', at) + 1));
    std::int64_t lba = 0;
    fields >> lba;
    return lba;
}

struct BadSector
{
    // "-R", "-J": a folder's first sector in that tree; "": a file's;
    // "sector": the sector `within`; "udf-main", "udf-reserve": UDF's main
    // and reserve volume descriptor sequences, as the anchor at sector 256
    // gives them; on a
    // Blu-ray, "metadata": the whole metadata file, "metadata-entry": its
    // own entry
    const char* place;
    std::string path;
    std::int64_t within = 0; // sectors into it
    std::int64_t count = 1;
};

// Where the anchor at sector 256 says UDF's main (or reserve) descriptor
// sequence starts.
std::int64_t udfSequence(const std::string& image, bool reserve)
{
    const auto bytes = readFile(image);
    std::uint32_t start = 0;
    std::memcpy(&start, bytes.data() + 256 * sector + (reserve ? 28 : 20), sizeof start);
    return start;
}

enum class Disc
{
    iso,    // ISO 9660 with Rock Ridge and Joliet, as xorriso makes it
    bridge, // UDF beside ISO 9660, as genisoimage -udf makes it (DVD-Video)
    bluRay, // UDF 2.50 alone, with a metadata partition and its mirror
};

struct DiscCase
{
    const char* name;
    Disc disc;
    std::vector<BadSector> bad;
    int listStatus;
    int exitStatus;
    std::vector<std::string> lost;     // files no tree lists
    std::vector<std::string> damaged;  // files copied with a bad sector
    std::vector<std::string> saysAlso; // what the listing and the report both say
    std::vector<std::string> listed;   // what the listing says of single files
    long failingReads = -1;            // at most, by the listing and the copy; -1: not counted
};

// A failing case is named by its row, not by its bytes.
void PrintTo(const DiscCase& row, std::ostream* out)
{
    *out << row.name;
}

class DiscImageTest : public ::testing::Test
{
protected:
    // xorriso and genisoimage: scripts/setup-debian.sh installs them.
    void makeImage(Disc disc)
    {
        if (disc == Disc::bluRay) {
            m_bluRay = writeBluRayImage(m_scratch / "disc.iso", "HOLIDAY_2009", discFiles());
            expectBluRayPlayersReadIt();
            return;
        }
        for (const auto& [path, bytes] : discFiles()) {
            fs::create_directories((m_scratch.path() / "tree" / path).parent_path());
            writeFile(m_scratch / ("tree/" + path), bytes);
        }
        const auto made =
            disc == Disc::bridge
                ? runProcess("/usr/bin/genisoimage",
                             {"-quiet", "-udf", "-J", "-R", "-V", "HOLIDAY_2009", "-o",
                              m_scratch / "disc.iso", m_scratch / "tree"})
                : runProcess(xorriso, {"-outdev", m_scratch / "disc.iso", "-volid", "HOLIDAY_2009",
                                       "-joliet", "on", "-map", m_scratch / "tree", "/"});
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }

    std::string damage(const std::vector<BadSector>& bad) const
    {
        const auto image = m_scratch / "disc.iso";
        std::string description = "image disc.iso " + image + "\ndirect-io\n";
        for (const auto& sectors : bad) {
            const std::string place = sectors.place;
            const auto start =
                place.starts_with('-')      ? folderSector(image, sectors.place, sectors.path)
                : place.empty()             ? (m_bluRay ? m_bluRay->files.at(sectors.path)
                                                        : fileSector(image, sectors.path))
                : place.starts_with("udf-") ? udfSequence(image, place == "udf-reserve")
                : place == "metadata"       ? m_bluRay->metadata
                : place == "metadata-entry" ? m_bluRay->metadataEntry
                                            : 0;
            const auto first = start + sectors.within;
            const auto count = place == "metadata" ? m_bluRay->metadataBlocks : sectors.count;
            description += "hard disc.iso " + std::to_string(first * sector) + " " +
                           std::to_string((first + count) * sector) + "\n";
        }
        return description;
    }

    ScratchDir m_scratch;
    std::optional<BluRayLayout> m_bluRay;

private:
    // The test's own Blu-ray image is read as Blu-ray players read discs
    // (libudfread), before the program is tried on it.
    void expectBluRayPlayersReadIt() const
    {
        const auto image = m_scratch / "disc.iso";
        udfread* const disc = udfread_init();
        ASSERT_EQ(udfread_open(disc, image.c_str()), 0);
        EXPECT_STREQ(udfread_get_volume_id(disc), "HOLIDAY_2009");
        for (const auto& [path, bytes] : discFiles()) {
            UDFFILE* const file = udfread_file_open(disc, ("/" + path).c_str());
            EXPECT_NE(file, nullptr) << path;
            if (file == nullptr)
                continue;
            Bytes read(bytes.size() + 1);
            EXPECT_EQ(udfread_file_read(file, read.data(), read.size()),
                      static_cast<ssize_t>(bytes.size()));
            read.pop_back();
            EXPECT_TRUE(read == bytes) << path;
            udfread_file_close(file);
        }
        udfread_close(disc);
    }
};

class DiscTest : public DiscImageTest, public ::testing::WithParamInterface<DiscCase>
{};

TEST_P(DiscTest, EveryFileWhoseDataReadsIsCopiedByteExactThroughWhicheverTreeStillReads)
{
    const auto& param = GetParam();
    makeImage(param.disc);
    const MountedMedium medium(m_scratch.path() / "medium", damage(param.bad));
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto disc = "--disc=" + medium.path("disc.iso");

    const auto listing = runCli({disc, "--list"});
    EXPECT_EQ(listing.exitStatus, param.listStatus) << listing.out << listing.err;
    const auto copy = runCli({"-q", disc, m_scratch / "out"});
    EXPECT_EQ(copy.exitStatus, param.exitStatus) << copy.out << copy.err;
    for (const auto& line : param.saysAlso) {
        EXPECT_NE(listing.out.find(line), std::string::npos) << line << "\n" << listing.out;
        EXPECT_NE(copy.out.find(line), std::string::npos) << line << "\n" << copy.out;
    }
    for (const auto& line : param.listed)
        EXPECT_NE(listing.out.find(line), std::string::npos) << line << "\n" << listing.out;

    for (const auto& [path, bytes] : discFiles()) {
        SCOPED_TRACE(path);
        const auto copied = m_scratch / ("out/HOLIDAY_2009/" + path);
        const bool lost = std::count(param.lost.begin(), param.lost.end(), path) != 0;
        EXPECT_EQ(listing.out.find(path) != std::string::npos, !lost) << listing.out;
        EXPECT_EQ(fs::exists(copied), !lost);
        if (lost || !fs::exists(copied))
            continue;
        const bool damaged = std::count(param.damaged.begin(), param.damaged.end(), path) != 0;
        auto expected = bytes;
        if (damaged) // the test damages the file's second sector
            std::fill(expected.begin() + sector, expected.begin() + 2 * sector, std::byte{0});
        EXPECT_TRUE(readFile(copied) == expected) << "a readable byte was lost";
    }
    EXPECT_EQ(medium.writeAttempts(), "");
    if (param.failingReads >= 0) {
        EXPECT_LE(medium.failingReads(), param.failingReads);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DiscTest,
    ::testing::Values(
        DiscCase{"Intact",
                 Disc::iso,
                 {},
                 0,
                 0,
                 {},
                 {},
                 {"its trees: Rock Ridge, Joliet", "found through Rock Ridge: 4 files"},
                 {"IMG_0001.JPG  (Rock Ridge)"}},
        // What the kernel's one attempt meets first: it lists nothing.
        DiscCase{"PrimaryRootFolder",
                 Disc::iso,
                 {{"-R", ""}},
                 0,
                 0,
                 {},
                 {},
                 {"listed through another tree: the root folder", "found through Joliet: 4 files"},
                 {"IMG_0001.JPG  (Joliet)", "a file named éclair.txt'  (Joliet)"}},
        // Below both roots, each folder is found through a path table.
        DiscCase{"BothRootFolders",
                 Disc::iso,
                 {{"-R", ""}, {"-J", ""}},
                 1,
                 1,
                 {},
                 {},
                 {"not listed whole: the root folder", "found through Joliet path table: 4 files"},
                 {"a file named éclair.txt'  (Joliet path table)"}},
        DiscCase{"JolietFolder",
                 Disc::iso,
                 {{"-J", "DCIM/100CANON"}},
                 0,
                 0,
                 {},
                 {},
                 {"listed through another tree: DCIM/100CANON"},
                 {"IMG_0002.JPG  (Rock Ridge)"}},
        DiscCase{"FolderInBothTrees",
                 Disc::iso,
                 {{"-R", "VIDEO_TS"}, {"-J", "VIDEO_TS"}},
                 1,
                 1,
                 {"VIDEO_TS/VTS_01_1.VOB"},
                 {},
                 {"not listed whole: VIDEO_TS"},
                 {}},
        DiscCase{"FileData",
                 Disc::iso,
                 {{"", "DCIM/100CANON/IMG_0001.JPG", 1}},
                 0,
                 1,
                 {},
                 {"DCIM/100CANON/IMG_0001.JPG"},
                 {},
                 {}},
        // A DVD's UDF, where its ISO 9660 volume descriptors do not read:
        // from the anchor at sector 256, then from the one at the disc's
        // end, through the main descriptor sequence or its reserve.
        DiscCase{"UdfAlone",
                 Disc::bridge,
                 {{"sector", "", 16}, {"sector", "", 17}},
                 0,
                 0,
                 {},
                 {},
                 {"its trees: UDF", "found through UDF: 4 files"},
                 {"a file named éclair.txt'  (UDF)"}},
        // Where both ISO 9660 trees lose a folder, UDF is read for it.
        DiscCase{"UdfListsWhatBothIsoTreesLost",
                 Disc::bridge,
                 {{"-R", "VIDEO_TS"}, {"-J", "VIDEO_TS"}},
                 0,
                 0,
                 {},
                 {},
                 {"listed through another tree: VIDEO_TS", "found through UDF: 1 file"},
                 {"VIDEO_TS/VTS_01_1.VOB  (UDF)"}},
        DiscCase{"UdfFirstAnchor",
                 Disc::bridge,
                 {{"sector", "", 16}, {"sector", "", 17}, {"sector", "", 256}},
                 0,
                 0,
                 {},
                 {},
                 {"found through UDF: 4 files"},
                 {}},
        // A bad sector ends the main sequence's reading, and the reserve
        // gives the rest: three failing reads a run, the ISO 9660
        // descriptors' two among them.
        DiscCase{"UdfMainSequence",
                 Disc::bridge,
                 {{"sector", "", 16}, {"sector", "", 17}, {"udf-main", "", 0, 16}},
                 0,
                 0,
                 {},
                 {},
                 {"found through UDF: 4 files"},
                 {},
                 6},
        // Where both copies have a bad sector, the rest of each is read past it.
        DiscCase{"UdfBothSequences",
                 Disc::bridge,
                 {{"sector", "", 16, 2}, {"udf-main", "", 0, 2}, {"udf-reserve", "", 1, 2}},
                 0,
                 0,
                 {},
                 {},
                 {"found through UDF: 4 files"},
                 {}},
        DiscCase{"UdfFileData",
                 Disc::bridge,
                 {{"sector", "", 16}, {"sector", "", 17}, {"", "VIDEO_TS/VTS_01_1.VOB", 1}},
                 0,
                 1,
                 {},
                 {"VIDEO_TS/VTS_01_1.VOB"},
                 {"found through UDF: 4 files"},
                 {}},
        // A pressed Blu-ray: UDF 2.50 alone, its folders and file entries in
        // a metadata partition, and what does not read there read from the
        // mirror's copy.
        DiscCase{"BluRay",
                 Disc::bluRay,
                 {},
                 0,
                 0,
                 {},
                 {},
                 {"its trees: UDF", "found through UDF: 4 files"},
                 {"a file named éclair.txt'  (UDF)"}},
        // A scratch across the whole of one copy costs a failing read.
        DiscCase{"BluRayMetadata",
                 Disc::bluRay,
                 {{"metadata", ""}},
                 0,
                 0,
                 {},
                 {},
                 {"found through UDF: 4 files"},
                 {},
                 2},
        DiscCase{"BluRayMetadataEntry",
                 Disc::bluRay,
                 {{"metadata-entry", ""}},
                 0,
                 0,
                 {},
                 {},
                 {"found through UDF: 4 files"},
                 {}},
        DiscCase{"BluRayFileData",
                 Disc::bluRay,
                 {{"", "VIDEO_TS/VTS_01_1.VOB", 1}},
                 0,
                 1,
                 {},
                 {"VIDEO_TS/VTS_01_1.VOB"},
                 {"found through UDF: 4 files"},
                 {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// An image GNU ddrescue made of a damaged disc, with its map: --list names
// the files its bad areas meet, the copy reads nothing ddrescue left as
// zeros, and a later, better image fills in only what was missing.
TEST_F(DiscImageTest, AnImageWithItsDdrescueMapIsReadOnlyWhereTheMapSaysItWasRescued)
{
    makeImage(Disc::iso);
    const std::vector<BadSector> bad{{"", "DCIM/100CANON/IMG_0001.JPG", 1},
                                     {"", "VIDEO_TS/VTS_01_1.VOB", 1}};
    const MountedMedium medium(m_scratch.path() / "medium", damage(bad));
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto image = m_scratch / "rescued.iso";
    const auto map = m_scratch / "rescued.map";
    // The second time, ddrescue tries again the sectors it found bad.
    const auto imaged = [&](const std::string& retries) {
        return runProcess("/usr/bin/ddrescue",
                          {"-q", retries, medium.path("disc.iso"), image, map});
    };
    ASSERT_EQ(imaged("-r0").exitStatus, 0);
    const std::vector<std::string> disc{"--disc=" + image, "--disc-map=" + map};

    auto listing = disc;
    listing.push_back("--list");
    const auto listed = runCli(listing);
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    for (const auto& [path, bytes] : discFiles()) {
        const auto line = listed.out.find(path);
        ASSERT_NE(line, std::string::npos) << listed.out;
        const bool hit = listed.out.substr(line, listed.out.find('\n', line) - line)
                             .ends_with("2,048 bytes in the map's bad areas)");
        EXPECT_EQ(hit, path == "DCIM/100CANON/IMG_0001.JPG" || path == "VIDEO_TS/VTS_01_1.VOB")
            << listed.out;
    }
    EXPECT_NE(listed.out.find("2 files meet the map's bad areas"), std::string::npos);

    auto copying = disc;
    copying.insert(copying.begin(), "-q");
    copying.push_back(m_scratch / "out");
    // Nor does a copy take the map's place.
    const auto mapAsCopy = m_scratch / "over/HOLIDAY_2009/VIDEO_TS/VTS_01_1.VOB";
    fs::create_directories(fs::path(mapAsCopy).parent_path());
    fs::copy_file(map, mapAsCopy);
    const auto over =
        runCli({"-q", "--disc=" + image, "--disc-map=" + mapAsCopy, m_scratch / "over"});
    EXPECT_EQ(over.exitStatus, 2) << over.err;
    EXPECT_TRUE(readFile(mapAsCopy) == readFile(map));
    // Neither the image nor its map takes the report: it would empty them.
    for (const auto& kept : {image, map}) {
        const auto before = readFile(kept);
        auto reporting = copying;
        reporting.insert(reporting.begin(), "--report=" + kept);
        const auto refused = runCli(reporting);
        EXPECT_EQ(refused.exitStatus, 2);
        EXPECT_NE(refused.err.find("it is a source of this run"), std::string::npos) << refused.err;
        EXPECT_TRUE(readFile(kept) == before);
    }
    const auto first = runCli(copying);
    EXPECT_EQ(first.exitStatus, 1) << first.out << first.err;
    auto expected = discFiles().at("VIDEO_TS/VTS_01_1.VOB");
    std::fill(expected.begin() + sector, expected.begin() + 2 * sector, std::byte{0});
    EXPECT_TRUE(readFile(m_scratch / "out/HOLIDAY_2009/VIDEO_TS/VTS_01_1.VOB") == expected);

    // The disc cleaned and imaged again into the same image and map.
    medium.redescribe(damage({}));
    ASSERT_EQ(imaged("-r1").exitStatus, 0);
    const auto second = runCli(copying);
    EXPECT_EQ(second.exitStatus, 0) << second.out << second.err;
    for (const auto& [path, bytes] : discFiles())
        EXPECT_TRUE(readFile(m_scratch / ("out/HOLIDAY_2009/" + path)) == bytes) << path;
}

// A name a disc may hold but no Linux folder can (UDF allows a "/"): the copy
// takes a name made of it, and the report says which.
TEST_F(DiscImageTest, ANameNoFolderCanHoldIsMadeOneAndTheReportSaysHow)
{
    makeImage(Disc::bridge);
    auto image = readFile(m_scratch / "disc.iso");
    // UDF's name of the file, 8-bit OSTA characters after a byte of 8.
    const std::string udfName = "\x08VTS_01_1.VOB";
    const auto at = std::search(image.begin(), image.end(), udfName.begin(), udfName.end(),
                                [](std::byte a, char b) { return a == std::byte(b); });
    ASSERT_NE(at, image.end());
    at[4] = std::byte{'/'};
    writeFile(m_scratch / "disc.iso", image);
    // Only UDF is read: the ISO 9660 descriptors do not read.
    const MountedMedium medium(m_scratch.path() / "medium", damage({{"sector", "", 16, 2}}));
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto copy = runCli({"-q", "--disc=" + medium.path("disc.iso"), m_scratch / "out"});
    EXPECT_EQ(copy.exitStatus, 0) << copy.out << copy.err;
    EXPECT_NE(copy.out.find("named VTS_01_1.VOB: the disc calls it VTS/01_1.VOB in VIDEO_TS"),
              std::string::npos)
        << copy.out;
    EXPECT_TRUE(readFile(m_scratch / "out/HOLIDAY_2009/VIDEO_TS/VTS_01_1.VOB") ==
                discFiles().at("VIDEO_TS/VTS_01_1.VOB"));
}

// A drive is a block device: the disc is read through it as from an image
// (a loop device over the image stands in for the drive).
TEST_F(DiscImageTest, ADiscInADriveIsReadThroughTheBlockDevice)
{
    makeImage(Disc::bridge);
    const auto attached =
        runProcess("/sbin/losetup", {"--find", "--show", "--read-only", m_scratch / "disc.iso"});
    if (attached.exitStatus != 0)
        GTEST_SKIP() << "this machine does not let a test attach a loop device: " << attached.err;
    const auto drive = attached.out.substr(0, attached.out.find('\n'));
    // For scripts: the report alone on standard output, what the trees did
    // on standard error.
    const auto copy = runCli({"-q", "--json", "--disc=" + drive, m_scratch / "out"});
    // A drive named as a plain source is still no file to copy.
    const auto plain = runCli({"-q", drive, m_scratch / "plain"});
    runProcess("/sbin/losetup", {"--detach", drive});
    EXPECT_EQ(copy.exitStatus, 0) << copy.out << copy.err;
    EXPECT_TRUE(copy.out.starts_with('{') && copy.out.ends_with("\"exit_status\": 0}\n"))
        << copy.out;
    EXPECT_NE(copy.err.find("its trees: Rock Ridge, Joliet"), std::string::npos) << copy.err;
    for (const auto& [path, bytes] : discFiles())
        EXPECT_TRUE(readFile(m_scratch / ("out/HOLIDAY_2009/" + path)) == bytes) << path;
    EXPECT_NE(plain.out.find("not a regular file"), std::string::npos) << plain.out;
}

// The kernel's driver, where this machine lets a test mount a disc image,
// lists nothing of a disc whose primary root folder does not read.
TEST(DiscKernelTest, MountingADiscWithAnUnreadableRootFolderListsNothing)
{
    ScratchDir scratch;
    fs::create_directories(scratch.path() / "tree/DCIM");
    writeFile(scratch / "tree/DCIM/IMG_0001.JPG", patternBytes(10'000));
    const auto image = scratch / "disc.iso";
    ASSERT_EQ(runProcess(xorriso, {"-outdev", image, "-map", scratch / "tree", "/"}).exitStatus, 0);
    const auto root = folderSector(image, "-R", "");
    const MountedMedium medium(scratch.path() / "medium",
                               "image disc.iso " + image + "\ndirect-io\nhard disc.iso " +
                                   std::to_string(root * sector) + " " +
                                   std::to_string((root + 1) * sector) + "\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    fs::create_directories(scratch.path() / "mounted");
    const auto mounted = runProcess("/bin/mount", {"-t", "iso9660", "-o", "ro,loop",
                                                   medium.path("disc.iso"), scratch / "mounted"});
    if (mounted.exitStatus != 0)
        GTEST_SKIP() << "this machine does not let a test loop-mount a disc image: " << mounted.err;
    std::error_code error;
    const bool listed = fs::exists(scratch.path() / "mounted/DCIM", error);
    runProcess("/bin/umount", {scratch / "mounted"});
    EXPECT_FALSE(listed) << "the kernel listed what the disc reader is for";
    const auto ours = runCli({"--disc=" + medium.path("disc.iso"), "--list"});
    EXPECT_NE(ours.out.find("DCIM/IMG_0001.JPG"), std::string::npos) << ours.out;
}

} // namespace
} // namespace brindlecap::testing
