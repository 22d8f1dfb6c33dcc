// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_catalogue.h"
#include "disc_sectors.h"

#include <optional>

namespace brindlecap {

struct UdfTree
{
    std::string label;                  // the logical volume's name
    std::optional<TreeListing> listing; // none: no UDF volume could be found
};

// Lists the UDF file system of a disc (DVD-Video and data DVDs, most of them
// beside ISO 9660 trees) through every copy of its way in: the anchor at
// sector 256, at the last sector or 256 before it; each anchor's main
// volume descriptor sequence, then its reserve. Folders are read with
// salvage, and a folder's entries after a bad sector are found again.
// Plain partitions (UDF 1.02 to 2.01, as DVDs have them) and metadata
// partitions (2.50 on, as Blu-ray discs have them) with their mirror; not a
// rewritable disc's sparable partition, nor a virtual one (a disc written
// in several sessions with a virtual allocation table).
UdfTree readUdf(DiscSectors& sectors, std::int64_t discBytes);

} // namespace brindlecap
