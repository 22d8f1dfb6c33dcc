#include "copy_error.h"

#include <string>

namespace brindlecap {

namespace {

class CopyErrorCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "brindlecap"; }

    std::string message(int value) const override
    {
        switch (static_cast<CopyError>(value)) {
        case CopyError::notRegularFile:
            return "not a regular file";
        case CopyError::destinationIsSource:
            return "the destination is the source file itself";
        case CopyError::sourceEndedEarly:
            return "the source ended before its measured length";
        }
        return "unknown error";
    }
};

} // namespace

const std::error_category& copyErrorCategory() noexcept
{
    static const CopyErrorCategory category;
    return category;
}

} // namespace brindlecap
