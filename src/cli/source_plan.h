// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "folder_tree.h"

#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace brindlecap {

// One source to copy, and the folder its copy goes into.
struct PlannedCopy
{
    std::string source;
    std::string folder;
    // The folder tree the source was found in, which reaches it; null for a
    // source named on the command line, which is taken as it is named.
    FolderTree* tree = nullptr;
    std::int64_t size = 0; // as found, for the progress line
};

// A source the plan passes over, and why (it is reported as not copied).
struct PassedOver
{
    std::string source;
    std::string folder;
    std::error_code why;
};

struct SourcePlan
{
    std::vector<std::unique_ptr<FolderTree>> trees; // the folders copied as a whole
    std::vector<PlannedCopy> copies;                // in order; the copies of one folder together
    std::vector<PassedOver> passedOver;
    // The rescue maps' folders (.brindlecap) of earlier copies inside the
    // folders copied: bookkeeping, not data, and never to be mixed with the
    // maps of this run's copies.
    std::vector<std::string> earlierMaps;
    // Files the run reads that are not among the copies' sources: a disc
    // whose files are the sources, its map. Nothing may write to them.
    std::vector<std::string> alsoRead;
    std::string error; // set: the command line asks for something that cannot be
};

// The command line's sources, each copied into `directory` under its own
// name. With `recursive`, a folder is copied as a whole, as `cp -r` would:
// FOLDER's files and subfolders go into DIRECTORY/FOLDER, in name order.
// The folder is read by descriptor, one folder at a time, and never through
// a link, so the walk holds the path it is on and nothing more however deep
// the tree. A symbolic link inside the tree is followed only to a file of
// the same tree (and the copy checks that again when it opens it); a link to
// a folder is not descended into, and a link out of the tree is passed over.
// Special files (pipes, devices) stay in the plan, for the copy to pass over
// and report. A folder's own .brindlecap (an earlier rescue's maps) is not
// copied. Copying a folder into itself is refused.
SourcePlan planSources(const std::vector<std::string>& sources, const std::string& directory,
                       bool recursive);

// Why a source from a folder is passed over.
enum class TreeError
{
    linkToFolder = 1,
    unreadableFolder,
    folderWithoutRecursive,
};

const std::error_category& treeErrorCategory() noexcept;

inline std::error_code make_error_code(TreeError error) noexcept
{
    return {static_cast<int>(error), treeErrorCategory()};
}

} // namespace brindlecap

template <> struct std::is_error_code_enum<brindlecap::TreeError> : std::true_type
{};
