// SPDX-License-Identifier: GPL-3.0-or-later
// Any text at all as a list of finished copies: the parser must not crash,
// and a list it takes must read back from its own text unchanged.
#include "finished_list.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using brindlecap::FinishedList;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const auto list = FinishedList::parse(text, why);
    if (!list) {
        check(!why.empty());
        return 0;
    }
    const auto lines = list->lines();
    const auto again = FinishedList::parse(list->head() + lines, why);
    check(again && again->lines() == lines);
    return 0;
}
