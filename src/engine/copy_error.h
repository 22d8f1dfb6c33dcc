// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <system_error>

namespace brindlecap {

// Reasons of the copier's own for passing a file over, beside errno values.
enum class CopyError
{
    notRegularFile = 1,
    destinationIsSource,
    sourceEndedEarly,
    sourceReplaced,
    destinationReplaced,
    destinationIsQueuedSource,
    danglingSymlink,
    nameTakenInThisJob,
    rescuedFromOtherSource,
    linkOutOfTree,
    folderIsLink,
    notAFolder,
    destinationIsLink,
};

const std::error_category& copyErrorCategory() noexcept;

inline std::error_code make_error_code(CopyError error) noexcept
{
    return {static_cast<int>(error), copyErrorCategory()};
}

} // namespace brindlecap

template <> struct std::is_error_code_enum<brindlecap::CopyError> : std::true_type
{};
