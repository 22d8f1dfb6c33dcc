// SPDX-License-Identifier: GPL-3.0-or-later
#include "space_check.h"

#include "path_text.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace brindlecap {

SpaceNeeded spaceNeeded(const SourcePlan& plan, int destination)
{
    SpaceNeeded space;
    for (const auto& copy : plan.copies) {
        // Only looked at, never opened: a copy of an earlier run keeps its
        // blocks, and the run writes over them in place.
        struct stat status
        {};
        const auto path = joinPath(copy.folder, bareName(copy.source));
        const auto held =
            ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : 0;
        if (copy.size > held)
            space.needed += copy.size - held;
    }
    struct statvfs volume
    {};
    // A file system that gives no size at all (many FUSE ones) has not said
    // it is full.
    if (::fstatvfs(destination, &volume) == 0 && volume.f_blocks > 0)
        space.available =
            static_cast<std::int64_t>(volume.f_bavail) * static_cast<std::int64_t>(volume.f_frsize);
    return space;
}

} // namespace brindlecap
