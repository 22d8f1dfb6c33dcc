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
    disc.catalogue = readIso9660(sectors);
    return disc.catalogue.problem;
}

} // namespace brindlecap
