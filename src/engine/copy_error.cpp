// SPDX-License-Identifier: GPL-3.0-or-later
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
        case CopyError::sourceReplaced:
            return "the source was replaced during the copy";
        case CopyError::destinationReplaced:
            return "the destination was replaced during the copy";
        case CopyError::destinationIsQueuedSource:
            return "the destination is a file queued to be copied";
        case CopyError::danglingSymlink:
            return "the destination is a symbolic link to nothing";
        case CopyError::nameTakenInThisJob:
            return "another source of this copy was already copied to this name";
        case CopyError::rescuedFromOtherSource:
            return "the copy there was rescued from a different source; it is kept: copy into "
                   "another folder or remove it";
        case CopyError::linkOutOfTree:
            return "a symbolic link out of the folder being copied, not followed";
        case CopyError::folderIsLink:
            return "a symbolic link stands where its folder goes, not followed";
        case CopyError::notAFolder:
            return "something that is not a folder stands where its folder goes";
        case CopyError::destinationIsLink:
            return "the destination is a symbolic link, not written through";
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
