// SPDX-License-Identifier: GPL-3.0-or-later
#include "space_check.h"

#include "path_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace brindlecap {

SpaceNeeded spaceNeeded(const SourcePlan& plan, FolderTree& copies)
{
    SpaceNeeded space;
    // The copies of a folder come together: it is looked up once for them,
    // and a folder that is not there yet holds none of them.
    std::string folderName;
    int folder = -1;
    std::error_code noFolder;
    for (const auto& copy : plan.copies) {
        if (folderName.empty() || copy.folder != folderName) {
            folderName = copy.folder;
            noFolder = copies.existingFolder(copy.folder, folder);
        }
        // Only looked at, never opened: a copy of an earlier run keeps its
        // blocks, and the run writes over them in place.
        struct stat status
        {};
        const auto name = bareName(copy.source);
        const bool there = !noFolder &&
                           ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISREG(status.st_mode);
        const auto held = there ? status.st_size : 0;
        if (copy.size > held)
            space.needed += copy.size - held;
    }
    struct statvfs volume
    {};
    // A file system that gives no size at all (many FUSE ones) has not said
    // it is full.
    if (::fstatvfs(copies.root(), &volume) == 0 && volume.f_blocks > 0)
        space.available =
            static_cast<std::int64_t>(volume.f_bavail) * static_cast<std::int64_t>(volume.f_frsize);
    return space;
}

} // namespace brindlecap
