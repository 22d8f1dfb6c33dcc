// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_tree.h"

#include "copy_error.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace brindlecap {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string_view withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

} // namespace

std::error_code FolderTree::open(const std::string& root, Mode mode)
{
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen())
        return lastError();
    m_root = std::move(fd);
    m_rootName = withoutTrailingSlashes(root);
    m_mode = mode;
    m_lastName.clear();
    m_last = UniqueFd();
    return {};
}

bool FolderTree::holds(std::string_view path) const
{
    if (!m_root.isOpen() || !path.starts_with(m_rootName))
        return false;
    const auto rest = path.substr(m_rootName.size());
    return m_rootName == "/" ? !rest.empty() : rest.starts_with('/');
}

std::error_code FolderTree::step(int from, std::string_view name, bool make, UniqueFd& into) const
{
    // Names come from folders read and from the command line: "." and ".."
    // would climb, so they are never part of a walk down.
    if (name == "." || name == "..")
        return std::make_error_code(std::errc::invalid_argument);
    const std::string entry(name);
    UniqueFd fd(::openat(from, entry.c_str(), folderFlags));
    if (!fd.isOpen() && errno == ENOENT && make) {
        // Whatever appeared there meanwhile is looked at like anything else.
        if (::mkdirat(from, entry.c_str(), 0777) != 0 && errno != EEXIST)
            return lastError();
        fd = UniqueFd(::openat(from, entry.c_str(), folderFlags));
    }
    if (!fd.isOpen()) {
        const auto error = lastError();
        struct stat status
        {};
        if (error != std::errc::too_many_symbolic_link_levels &&
            error != std::errc::not_a_directory)
            return error;
        if (::fstatat(from, entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(status.st_mode))
            return CopyError::folderIsLink;
        return CopyError::notAFolder;
    }
    into = std::move(fd);
    return {};
}

std::error_code FolderTree::folder(std::string_view path, int& fd)
{
    return walk(path, m_mode == Mode::make, fd);
}

std::error_code FolderTree::existingFolder(std::string_view path, int& fd)
{
    return walk(path, false, fd);
}

std::error_code FolderTree::walk(std::string_view path, bool make, int& fd)
{
    path = withoutTrailingSlashes(path);
    if (path == m_rootName) {
        fd = m_root.get();
        return {};
    }
    if (!holds(path))
        return std::make_error_code(std::errc::invalid_argument);
    if (m_last.isOpen() && path == m_lastName) {
        fd = m_last.get();
        return {};
    }
    // From the folder last reached when the path lies beneath it (a walk
    // goes down the tree), else from the root.
    const bool below = m_last.isOpen() && path.starts_with(m_lastName) &&
                       path.substr(m_lastName.size()).starts_with('/');
    auto rest = path.substr(below ? m_lastName.size() : m_rootName.size());
    UniqueFd current;
    int from = below ? m_last.get() : m_root.get();
    while (!rest.empty()) {
        const auto start = rest.find_first_not_of('/');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const auto name = rest.substr(0, rest.find('/'));
        rest.remove_prefix(name.size());
        UniqueFd next;
        if (const auto error = step(from, name, make, next))
            return error;
        current = std::move(next);
        from = current.get();
    }
    m_last = std::move(current);
    m_lastName = path;
    fd = m_last.get();
    return {};
}

std::error_code placeOf(FolderTree* tree, const std::string& path, NamePlace& place)
{
    if (tree == nullptr || !tree->holds(path)) {
        place = {AT_FDCWD, path.c_str(), false};
        return {};
    }
    const auto slash = path.rfind('/');
    place.name = path.c_str() + slash + 1;
    place.inTree = true;
    return tree->folder(std::string_view(path).substr(0, slash == 0 ? 1 : slash), place.folder);
}

} // namespace brindlecap
