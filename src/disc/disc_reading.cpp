// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_reading.h"

#include "iso9660_catalogue.h"
#include "udf_catalogue.h"

namespace brindlecap {

std::string readDisc(FileAccess& files, const std::string& path, DiscSource& disc)
{
    disc.path = path;
    if (const auto error = files.examineSource(path, disc.facts))
        return error.message();
    DiscSectors sectors(files, path, disc.facts.identity);
    auto iso9660 = readIso9660(sectors);
    auto udf = readUdf(sectors, disc.facts.length);
    auto listings = std::move(iso9660.listings);
    if (udf.listing)
        listings.push_back(std::move(*udf.listing));
    if (listings.empty())
        return iso9660.descriptorsRead
                   ? "no ISO 9660 or UDF file system of it could be read"
                   : "its volume descriptors (sectors 16 on) do not read, nor does UDF's anchor";
    disc.catalogue.label = iso9660.label.empty() ? udf.label : iso9660.label;
    putTogether(std::move(listings), disc.catalogue);
    return {};
}

} // namespace brindlecap
