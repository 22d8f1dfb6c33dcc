// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>

namespace brindlecap {

// The tick's one error rule. A failing step is abandoned where it failed: what
// it was computing is not stored, and the caller goes on with the next step.
template <typename Step> void resumeNext(Step&& step) noexcept
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

// A test that fails counts as holding, so the step it guards still runs.
template <typename Test> bool holdsOrFails(Test&& test) noexcept
{
    try {
        return test();
    } catch (const std::exception&) {
        return true;
    }
}

} // namespace brindlecap
