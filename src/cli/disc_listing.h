// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_plan.h"
#include "number_format.h"

#include <string>

namespace brindlecap {

// The chosen files as --list shows them, a line each: the size, the path
// inside the disc and the tree that named it; then the totals.
std::string discListing(const DiscSource& disc, const DiscChoice& choice,
                        const NumberFormat& numbers);

// What a disc's trees did, said before its listing or its copy's report:
// the trees found, the folders a tree could not list and whether another
// tree listed them, and the names that had to be made file names.
std::string discSummary(const DiscSource& disc);

// Whether some folder could not be listed whole by any tree: files may be
// missing from the listing.
bool discListedInPart(const DiscSource& disc);

} // namespace brindlecap
