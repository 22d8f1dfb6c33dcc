// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_reading.h"

#include "iso9660_catalogue.h"
#include "udf_catalogue.h"

#include <algorithm>

namespace brindlecap {

namespace {

bool listsWholeWithFullNames(const std::vector<TreeListing>& listings)
{
    DiscCatalogue together;
    putTogether(listings, together);
    const auto fullNames = std::any_of(listings.begin(), listings.end(), [](const auto& tree) {
        return tree.names < TreeNames::iso9660;
    });
    return fullNames && std::none_of(together.unlisted.begin(), together.unlisted.end(),
                                     [](const auto& folder) { return !folder.listedElsewhere; });
}

} // namespace

std::string readDisc(FileAccess& files, const std::string& path, DiscSource& disc)
{
    disc.path = path;
    if (const auto error = files.examineSource(path, disc.facts))
        return error.message();
    DiscSectors sectors(files, path, disc.facts.identity);
    auto iso9660 = readIso9660(sectors);
    auto listings = std::move(iso9660.listings);
    // UDF reads an entry for every file, one seek each on a drive: it is
    // walked where the ISO 9660 trees left a folder unlisted, or name files
    // only as 8.3.
    UdfTree udf;
    if (!listsWholeWithFullNames(listings)) {
        udf = readUdf(sectors, disc.facts.length);
        if (udf.listing)
            listings.push_back(std::move(*udf.listing));
    }
    if (listings.empty())
        return iso9660.descriptorsRead
                   ? "no ISO 9660 or UDF file system of it could be read"
                   : "its volume descriptors (sectors 16 on) do not read, nor does UDF's anchor";
    disc.catalogue.label = iso9660.label.empty() ? udf.label : iso9660.label;
    putTogether(std::move(listings), disc.catalogue);
    return {};
}

} // namespace brindlecap
