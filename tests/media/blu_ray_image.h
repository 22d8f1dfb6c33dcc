// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scratch_dir.h"

#include <cstdint>
#include <map>
#include <string>

namespace brindlecap::testing {

// Where the parts of an image made by writeBluRayImage lie (sectors).
struct BluRayLayout
{
    std::int64_t metadataEntry = 0; // the metadata file's own entry
    std::int64_t metadata = 0;      // the metadata file's blocks, the folders and entries
    std::int64_t mirror = 0;        // their copy in the mirror file
    std::int64_t metadataBlocks = 0;
    std::map<std::string, std::int64_t> files; // each file's data, by path
};

// Writes a disc image as a pressed Blu-ray's file system has it: UDF 2.50
// alone, no ISO 9660; the folders and file entries in a metadata
// partition, with the mirror file's copy beside it; the files' data in the
// physical partition. No Debian tool makes one with files in it. Paths are
// names joined by "/", every name within Latin-1.
BluRayLayout writeBluRayImage(const std::string& image, const std::string& label,
                              const std::map<std::string, Bytes>& files);

} // namespace brindlecap::testing
