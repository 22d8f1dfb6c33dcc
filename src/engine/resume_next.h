// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <new>
#include <stdexcept>

namespace brindlecap {

// What a step of the tick fails with where the world is not as the step
// expects (a caption that is no number, a queue entry gone, a percent of an
// empty file), like the errors the rule below resumes from the system.
class StepError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The tick's one error rule. A failing step is abandoned where it failed: what
// it was computing is not stored, and the caller goes on with the next step.
// It fails on the world (a system error, no memory, a number too large, a
// StepError); a logic error is a fault of the program, and ends it here
// with what it says.
// NOLINTNEXTLINE(bugprone-exception-escape): that end is the point
template <typename Step> void resumeNext(Step&& step) noexcept
{
    try {
        step();
    } catch (const std::runtime_error&) {
    } catch (const std::bad_alloc&) {
    }
}

// A test that fails counts as holding, so the step it guards still runs.
// NOLINTNEXTLINE(bugprone-exception-escape): a logic error ends the program
template <typename Test> bool holdsOrFails(Test&& test) noexcept
{
    try {
        return test();
    } catch (const std::runtime_error&) {
        return true;
    } catch (const std::bad_alloc&) {
        return true;
    }
}

} // namespace brindlecap
