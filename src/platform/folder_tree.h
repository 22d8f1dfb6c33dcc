// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "unique_fd.h"

#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>

namespace brindlecap {

// A tree of folders reached from its root, held open from the start, one
// name at a time and never through a symbolic link. A path beneath the root
// is only a way to name a folder found or made there: a link put in a
// folder's place, before the run or during it, cannot lead a read or a
// write out of the tree, and a path longer than the system's limit still
// reaches its folder.
class FolderTree final
{
public:
    enum class Mode
    {
        read, // a source: nothing is made
        make, // a destination: missing folders are made
    };

    // Opens the root through its own name: the user's name, whose links are
    // followed as cp follows them.
    std::error_code open(const std::string& root, Mode mode);
    int root() const { return m_root.get(); }
    // The root's name, as paths beneath it start.
    const std::string& rootName() const { return m_rootName; }

    // Whether `path` is the root's name followed by names beneath it.
    bool holds(std::string_view path) const;
    // The folder that `path` (the root's name, or a path it holds) names.
    // A symbolic link on the way fails with CopyError::folderIsLink, and
    // anything else that is not a folder with CopyError::notAFolder. The
    // descriptor is the tree's, good until the next call.
    std::error_code folder(std::string_view path, int& fd);
    // The same, but a folder that is not there is never made.
    std::error_code existingFolder(std::string_view path, int& fd);

    // The files of the tree, the only ones a symbolic link inside it may
    // lead to.
    void addOwnFile(const FileIdentity& file) { m_ownFiles.insert(file); }
    bool ownsFile(const FileIdentity& file) const { return m_ownFiles.contains(file); }

private:
    struct IdentityHash
    {
        std::size_t operator()(const FileIdentity& file) const noexcept
        {
            return std::hash<std::uint64_t>()(file.inode * 31 + file.device);
        }
    };

    std::error_code walk(std::string_view path, bool make, int& fd);
    std::error_code step(int from, std::string_view name, bool make, UniqueFd& into) const;

    std::string m_rootName; // without a trailing '/'
    UniqueFd m_root;
    Mode m_mode = Mode::read;
    // The folder last asked for: the copies of one folder, chunk after
    // chunk, reach it without a walk.
    std::string m_lastName;
    UniqueFd m_last;
    std::unordered_set<FileIdentity, IdentityHash> m_ownFiles;
};

// Where the name a path ends in is looked up: in the folder a tree reaches
// for it, or, for a path no tree holds, from the working folder as it is.
// `name` points into the path, which must outlive it.
struct NamePlace
{
    int folder = -1;
    const char* name = nullptr;
    bool inTree = false;
};

// `tree` may be null: the path is then taken as it is.
std::error_code placeOf(FolderTree* tree, const std::string& path, NamePlace& place);
// A temporary path would leave the place's name pointing at freed memory.
std::error_code placeOf(FolderTree* tree, std::string&& path, NamePlace& place) = delete;

} // namespace brindlecap
