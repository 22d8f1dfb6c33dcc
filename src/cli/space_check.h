// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "folder_tree.h"
#include "source_plan.h"

#include <cstdint>
#include <string>

namespace brindlecap {

// What the copies a run is about to make add to what their files hold now
// (a resumed copy only grows), and what the destination's file system has
// free for them.
struct SpaceNeeded
{
    std::int64_t needed = 0;
    std::int64_t available = -1; // -1: the file system would not say
    bool fits() const { return available < 0 || needed <= available; }
};

// `copies` is the destination's tree, which no look makes a folder in.
SpaceNeeded spaceNeeded(const SourcePlan& plan, FolderTree& copies);

} // namespace brindlecap
