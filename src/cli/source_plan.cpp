// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_plan.h"

#include "map_folder.h"
#include "quoted_name.h"

#include <algorithm>
#include <filesystem>

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
        case TreeError::linkOutOfTree:
            return "a symbolic link out of the folder being copied, not followed";
        case TreeError::linkToFolder:
            return "a symbolic link to a folder, not followed";
        case TreeError::unreadableFolder:
            return "a folder that cannot be read";
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

class Planner
{
public:
    explicit Planner(SourcePlan& plan) : m_plan(plan) {}

    // The files of `from`, into `into`, in name order; subfolders after.
    void addFolder(const fs::path& from, const fs::path& into, const fs::path& tree)
    {
        std::error_code error;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error))
            entries.push_back(*it);
        if (error) {
            m_plan.passedOver.push_back({from.string(), into.parent_path().string(),
                                         make_error_code(TreeError::unreadableFolder)});
            return;
        }
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.path().filename().string() < b.path().filename().string();
        });
        std::vector<fs::path> folders;
        for (const auto& entry : entries) {
            const auto& path = entry.path();
            const auto status = entry.symlink_status(error);
            if (fs::is_symlink(status)) {
                const auto target = canonicalOr(path);
                if (!inside(target, tree))
                    passOver(path, into, TreeError::linkOutOfTree);
                else if (fs::is_directory(target, error))
                    passOver(path, into, TreeError::linkToFolder);
                else
                    m_plan.copies.push_back({path.string(), into.string()});
            } else if (fs::is_directory(status) && path.filename() == MapFolder::name) {
                m_plan.earlierMaps.push_back(path.string());
            } else if (fs::is_directory(status)) {
                folders.push_back(path);
            } else {
                m_plan.copies.push_back({path.string(), into.string()});
            }
        }
        for (const auto& folder : folders)
            addFolder(folder, into / folder.filename(), tree);
    }

private:
    void passOver(const fs::path& path, const fs::path& into, TreeError why)
    {
        m_plan.passedOver.push_back({path.string(), into.string(), make_error_code(why)});
    }

    SourcePlan& m_plan;
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
    Planner planner(plan);
    const auto target = canonicalOr(directory);
    for (const auto& source : sources) {
        std::error_code error;
        if (!recursive || !fs::is_directory(fs::symlink_status(source, error))) {
            plan.copies.push_back({source, directory});
            continue;
        }
        const auto tree = canonicalOr(source);
        if (inside(target, tree)) {
            plan.error = "cannot copy the folder " + quotedName(source) + " into itself";
            return plan;
        }
        auto name = fs::path(source).filename();
        if (name.empty() || name == "." || name == "..")
            name = tree.filename();
        planner.addFolder(source, fs::path(directory) / name, tree);
    }
    return plan;
}

} // namespace brindlecap
