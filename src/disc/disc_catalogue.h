// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brindlecap {

// Where a file's bytes lie on the disc: `length` bytes from byte `offset`.
struct DiscExtent
{
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// A file as a tree of the disc lists it.
struct DiscFile
{
    std::string path; // inside the disc, names joined by "/", no leading "/"
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
    bool partly = false; // some of its sectors read, and their entries are listed
    bool listedElsewhere = false; // another tree listed a folder of that path whole
};

// What the trees of a disc list, put together: each file once, named by the
// best tree that reached it.
struct DiscCatalogue
{
    std::string label;              // the volume label, as the disc has it
    std::vector<std::string> trees; // the trees found, best names first
    std::vector<DiscFile> files;    // in path order
    std::vector<std::string> folders; // every folder listed, empty ones too
    std::vector<UnlistedFolder> unlisted;
    std::vector<RenamedEntry> renamed;
    std::string problem; // set: no tree of the disc could be read at all
};

} // namespace brindlecap
