// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace brindlecap {

// The list of source paths, in the order the user queued them.
class SourceQueue
{
public:
    virtual ~SourceQueue() = default;
    virtual int count() const = 0;
    // Throws std::out_of_range for an index outside 0 .. count() - 1.
    virtual std::string entry(int index) const = 0;
};

} // namespace brindlecap
