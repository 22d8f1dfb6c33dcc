#pragma once

#include "copy_job.h"

#include <cstddef>
#include <string>

namespace brindlecap {

// "[n/m] name  done / size bytes  percent %  rate", cut to `width` columns.
std::string progressLine(const CopyJob& job, int queued, const std::string& name,
                         double elapsedSeconds, const NumberFormat& numbers, std::size_t width);

} // namespace brindlecap
