// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_catalogue.h"
#include "disc_sectors.h"

namespace brindlecap {

// Lists an ISO 9660 disc through every tree it carries: the primary tree,
// named by Rock Ridge where the disc has it, and the Joliet tree. Each folder
// is read with salvage: a folder that does not read in one tree is listed
// from another, and the sectors of a folder that do read still give their
// entries. Nothing on the disc is trusted: lengths, positions and loops are
// checked, so the worst a damaged or crafted disc can do is list less.
struct Iso9660Trees
{
    std::string label;
    std::vector<TreeListing> listings; // none: no ISO 9660 volume
    bool descriptorsRead = false;      // some sector of its descriptors read
};
Iso9660Trees readIso9660(DiscSectors& sectors);

} // namespace brindlecap
