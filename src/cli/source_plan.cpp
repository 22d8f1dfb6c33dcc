// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_plan.h"

#include "copy_error.h"
#include "map_folder.h"
#include "quoted_name.h"
#include "regular_file_open.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace brindlecap {

namespace fs = std::filesystem;

namespace {

class TreeErrorCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "brindlecap-tree"; }
    std::string message(int value) const override
    {
        switch (static_cast<TreeError>(value)) {
        case TreeError::linkToFolder:
            return "a symbolic link to a folder, not followed";
        case TreeError::unreadableFolder:
            return "a folder that cannot be read";
        case TreeError::folderWithoutRecursive:
            return "is a folder: use -r to copy it with its contents";
        }
        return "unknown error";
    }
};

// Whether `path` is `folder` or lies inside it (both made absolute, without
// dot parts and links).
bool inside(const fs::path& path, const fs::path& folder)
{
    const auto [end, unused] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

fs::path canonicalOr(const fs::path& path)
{
    std::error_code error;
    const auto canonical = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path) : canonical;
}

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

void append(std::string& path, const std::string& name)
{
    if (path.back() != '/')
        path += '/';
    path += name;
}

// One entry of a folder, as found there.
struct Entry
{
    std::string name;
    struct stat status;
};

// The entries of the folder `fd` holds, in name order; false where it cannot
// be read.
bool readFolder(int fd, std::vector<Entry>& entries)
{
    DIR* listing = ::fdopendir(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (listing == nullptr)
        return false;
    // Each listing starts at its beginning, whatever an earlier one read.
    ::rewinddir(listing);
    errno = 0;
    while (const auto* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        Entry found{name, {}};
        if (::fstatat(fd, name.c_str(), &found.status, AT_SYMLINK_NOFOLLOW) == 0)
            entries.push_back(std::move(found));
        errno = 0;
    }
    const bool read = errno == 0;
    ::closedir(listing);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return read;
}

// Walks one folder given on the command line, depth first: a folder's files
// in name order, then its subfolders. Only the folder being read is open,
// and the way back up is checked to lead where the walk came from.
class TreeWalk
{
public:
    TreeWalk(SourcePlan& plan, FolderTree& tree) : m_plan(plan), m_tree(tree) {}

    void walk(const std::string& from, const std::string& into)
    {
        m_from = from;
        m_into = into;
        UniqueFd current(::fcntl(m_tree.root(), F_DUPFD_CLOEXEC, 0));
        if (!enter(current))
            return;
        while (!m_stack.empty()) {
            auto& level = m_stack.back();
            if (level.folders.empty()) {
                m_stack.pop_back();
                if (!m_stack.empty() && !goUp(current))
                    return;
                continue;
            }
            const auto name = std::move(level.folders.back());
            level.folders.pop_back();
            append(m_from, name);
            append(m_into, name);
            UniqueFd child(::openat(current.get(), name.c_str(), folderFlags));
            if (child.isOpen() && enter(child)) {
                current = std::move(child);
                continue;
            }
            if (!child.isOpen())
                passOver(TreeError::unreadableFolder);
            trimPaths(m_stack.back());
        }
    }

    // Links whose target is no file of their tree are passed over: known
    // only once the whole tree has been read.
    void passOverLinksOut()
    {
        std::vector<PlannedCopy> kept;
        for (auto& copy : m_plan.copies) {
            const auto link = m_linkTargets.find(copy.source);
            if (link != m_linkTargets.end() && copy.tree == &m_tree &&
                !m_tree.ownsFile(link->second))
                m_plan.passedOver.push_back(
                    {copy.source, copy.folder, make_error_code(CopyError::linkOutOfTree)});
            else
                kept.push_back(std::move(copy));
        }
        m_plan.copies = std::move(kept);
        m_linkTargets.clear();
    }

private:
    struct Level
    {
        FileIdentity identity;            // the folder, to check the way back
        std::vector<std::string> folders; // subfolders still to walk, last first
        std::size_t fromLength = 0;
        std::size_t intoLength = 0;
    };

    // Plans the files of the folder `fd` holds (at m_from), and pushes its
    // level; false where it cannot be read.
    bool enter(const UniqueFd& fd)
    {
        struct stat self
        {};
        std::vector<Entry> entries;
        if (::fstat(fd.get(), &self) != 0 || !readFolder(fd.get(), entries)) {
            passOver(TreeError::unreadableFolder);
            return false;
        }
        Level level{identityOf(self), {}, m_from.size(), m_into.size()};
        for (const auto& entry : entries) {
            auto source = m_from;
            append(source, entry.name);
            const auto& status = entry.status;
            if (S_ISDIR(status.st_mode)) {
                if (entry.name == MapFolder::name)
                    m_plan.earlierMaps.push_back(source);
                else
                    level.folders.push_back(entry.name);
                continue;
            }
            if (S_ISLNK(status.st_mode)) {
                struct stat target
                {};
                if (::fstatat(fd.get(), entry.name.c_str(), &target, 0) == 0) {
                    if (S_ISDIR(target.st_mode)) {
                        m_plan.passedOver.push_back(
                            {source, m_into, make_error_code(TreeError::linkToFolder)});
                        continue;
                    }
                    m_linkTargets[source] = identityOf(target);
                }
                // A link to nothing stays in the plan: the copy says why it
                // cannot be copied.
            } else {
                m_tree.addOwnFile(identityOf(status));
            }
            m_plan.copies.push_back(
                {source, m_into, &m_tree, S_ISREG(status.st_mode) ? status.st_size : 0});
        }
        std::reverse(level.folders.begin(), level.folders.end());
        m_stack.push_back(std::move(level));
        return true;
    }

    // Back to the parent of the folder just walked: through "..", where
    // that leads to the folder the walk came from, else from the root down.
    bool goUp(UniqueFd& current)
    {
        const auto& level = m_stack.back();
        trimPaths(level);
        UniqueFd parent(::openat(current.get(), "..", folderFlags));
        struct stat status
        {};
        if (!parent.isOpen() || ::fstat(parent.get(), &status) != 0 ||
            identityOf(status) != level.identity) {
            int reached = -1;
            if (m_tree.folder(m_from, reached) ||
                (::fstat(reached, &status) == 0 && identityOf(status) != level.identity)) {
                // Moved away while it was read: what is left of it is not.
                passOver(TreeError::unreadableFolder);
                m_stack.clear();
                return false;
            }
            parent = UniqueFd(::fcntl(reached, F_DUPFD_CLOEXEC, 0));
        }
        current = std::move(parent);
        return true;
    }

    void trimPaths(const Level& level)
    {
        m_from.resize(level.fromLength);
        m_into.resize(level.intoLength);
    }

    void passOver(TreeError why)
    {
        const auto into = m_into.substr(0, m_into.rfind('/'));
        m_plan.passedOver.push_back({m_from, into, make_error_code(why)});
    }

    SourcePlan& m_plan;
    FolderTree& m_tree;
    std::string m_from; // the folder being read, as the run names it
    std::string m_into; // where its copies go
    std::vector<Level> m_stack;
    std::unordered_map<std::string, FileIdentity> m_linkTargets;
};

} // namespace

const std::error_category& treeErrorCategory() noexcept
{
    static const TreeErrorCategory category;
    return category;
}

SourcePlan planSources(const std::vector<std::string>& sources, const std::string& directory,
                       bool recursive)
{
    SourcePlan plan;
    const auto target = canonicalOr(directory);
    for (const auto& source : sources) {
        std::error_code error;
        if (!recursive && fs::is_directory(fs::status(source, error))) {
            plan.passedOver.push_back(
                {source, directory, make_error_code(TreeError::folderWithoutRecursive)});
            continue;
        }
        if (!recursive || !fs::is_directory(fs::symlink_status(source, error))) {
            struct stat status
            {};
            const auto size = ::stat(source.c_str(), &status) == 0 && S_ISREG(status.st_mode)
                                  ? status.st_size
                                  : 0;
            plan.copies.push_back({source, directory, nullptr, size});
            continue;
        }
        const auto canonical = canonicalOr(source);
        if (inside(target, canonical)) {
            plan.error = "cannot copy the folder " + quotedName(source) + " into itself";
            return plan;
        }
        auto name = fs::path(source).filename();
        if (name.empty() || name == "." || name == "..")
            name = canonical.filename();
        auto tree = std::make_unique<FolderTree>();
        if (tree->open(source, FolderTree::Mode::read)) {
            plan.passedOver.push_back(
                {source, directory, make_error_code(TreeError::unreadableFolder)});
            continue;
        }
        TreeWalk walk(plan, *tree);
        walk.walk(tree->rootName(), (fs::path(directory) / name).string());
        walk.passOverLinksOut();
        plan.trees.push_back(std::move(tree));
    }
    return plan;
}

} // namespace brindlecap
