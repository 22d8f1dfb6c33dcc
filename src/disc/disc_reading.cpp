// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_reading.h"

#include "iso9660_catalogue.h"

namespace brindlecap {

std::string readDisc(FileAccess& files, const std::string& path, DiscSource& disc)
{
    disc.path = path;
    if (const auto error = files.examineSource(path, disc.facts))
        return error.message();
    DiscSectors sectors(files, path, disc.facts.identity);
    auto iso9660 = readIso9660(sectors);
    if (iso9660.listings.empty())
        return iso9660.descriptorsRead ? "it holds no ISO 9660 file system"
                                       : "its volume descriptors (sectors 16 on) do not read";
    disc.catalogue.label = iso9660.label;
    putTogether(std::move(iso9660.listings), disc.catalogue);
    return {};
}

} // namespace brindlecap
