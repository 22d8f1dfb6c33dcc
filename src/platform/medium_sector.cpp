// SPDX-License-Identifier: GPL-3.0-or-later
#include "medium_sector.h"

#include "unique_fd.h"

#include <charconv>
#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace brindlecap {

namespace {

constexpr std::int64_t discSector = 2048;

bool isSectorSize(std::int64_t bytes)
{
    return bytes >= 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
}

// A number in a sysfs file; 0 where there is none.
std::int64_t numberIn(const std::string& path)
{
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    char text[32] = {};
    const auto got = file.isOpen() ? ::read(file.get(), text, sizeof text - 1) : -1;
    std::int64_t value = 0;
    if (got <= 0 || std::from_chars(text, text + got, value).ec != std::errc())
        return 0;
    return value;
}

} // namespace

std::int64_t mediumSector(int fd)
{
    struct statfs volume
    {};
    if (::fstatfs(fd, &volume) == 0 &&
        (volume.f_type == ISOFS_SUPER_MAGIC || volume.f_type == UDF_SUPER_MAGIC))
        return discSector;
    struct stat status
    {};
    if (::fstat(fd, &status) != 0)
        return 0;
    // /sys/dev/block/MAJOR:MINOR is the device; a partition has its disk's
    // queue one level up.
    const auto device = "/sys/dev/block/" + std::to_string(major(status.st_dev)) + ":" +
                        std::to_string(minor(status.st_dev));
    for (const auto* queue : {"/queue/logical_block_size", "/../queue/logical_block_size"}) {
        const auto bytes = numberIn(device + queue);
        if (isSectorSize(bytes))
            return bytes;
    }
    return 0;
}

} // namespace brindlecap
