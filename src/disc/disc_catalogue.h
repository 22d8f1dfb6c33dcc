// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace brindlecap {

// Where a file's bytes lie on the disc: `length` bytes from byte `offset`.
struct DiscExtent
{
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool zeros = false; // recorded as a hole: zeros, nothing on the disc
};

// A file as a tree of the disc lists it.
struct DiscFile
{
    std::string path;                // inside the disc, names joined by "/", no leading "/"
    std::vector<DiscExtent> extents; // in file order; more than one past 4 GiB
    std::int64_t size = 0;
    FileTime modified; // as the disc recorded it
    std::string tree;  // the tree it was found through ("Rock Ridge", "Joliet", ...)
};

// A name on the disc that is no file name here ("a/b", "..", too long),
// and the name its copy takes instead.
struct RenamedEntry
{
    std::string folder; // inside the disc
    std::string onDisc;
    std::string madeName;
};

// A folder whose sectors did not all read in one tree.
struct UnlistedFolder
{
    std::string path; // inside the disc; empty: the root
    std::string tree;
    bool partly = false;          // some of its sectors read, and their entries are listed
    bool listedElsewhere = false; // another tree listed a folder of that path whole
};

// What the trees of a disc list, put together: each file once, named by the
// best tree that reached it.
struct DiscCatalogue
{
    std::string label;                // the volume label, as the disc has it
    std::vector<std::string> trees;   // the trees found, best names first
    std::vector<DiscFile> files;      // in path order
    std::vector<std::string> folders; // every folder listed, empty ones too
    std::vector<UnlistedFolder> unlisted;
    std::vector<RenamedEntry> renamed;
};

// How full the names a tree gives are, fullest first: Rock Ridge's are the
// files' own, UDF's and Joliet's Unicode, ISO 9660's own are 8.3 at most.
enum class TreeNames
{
    rockRidge,
    udf,
    joliet,
    iso9660,
};

// What one tree of a disc lists.
struct TreeListing
{
    std::string tree; // how the report names it: "Joliet", "UDF", ...
    TreeNames names = TreeNames::iso9660;
    std::vector<DiscFile> files;
    std::set<std::string> folders; // the folders it listed, whole or in part
    std::vector<UnlistedFolder> unlisted;
    std::vector<RenamedEntry> renamed;
};

// The listings of a disc's trees as one catalogue: each file once, from the
// tree with the fullest names that reached it (two trees list one file at
// the same place on the disc), and for each folder a tree could not list,
// whether another listed it whole.
void putTogether(std::vector<TreeListing> listings, DiscCatalogue& catalogue);

} // namespace brindlecap
