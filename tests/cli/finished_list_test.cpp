// SPDX-License-Identifier: GPL-3.0-or-later
#include "finished_list.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

using Status = RescueMap::Status;

// Any name a folder can hold comes back from the list's text as it went in,
// with the notes of its map; the map a line stands for is rescued whole.
TEST(FinishedListTest, EachCopysLineComesBackAsItsWholeMap)
{
    const std::string names[] = {"IMG_0001.JPG",     "tab\there",   "new\nline", "back\\slash\\t",
                                 "carriage\rreturn", "equals=sign", "\xFF\xFE"};
    FinishedList list;
    std::int64_t size = 0;
    for (const auto& name : names) {
        RescueMap map(size);
        map.mark({0, size}, Status::finished);
        map.notes = {{"copy", "1:2"}, {"source", "disc/" + name}, {"started", "2026-12-09 20:56"}};
        list.put(name, map);
        size += 1000;
    }
    list.put("gone", RescueMap(5));
    list.remove("gone");
    std::string why;
    const auto text = list.head() + list.lines();
    const auto again = FinishedList::parse(text, why);
    ASSERT_TRUE(again) << why;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::size(names) + 1);
    size = 0;
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const auto map = again->mapOf(name);
        ASSERT_TRUE(map);
        EXPECT_EQ(map->size(), size);
        EXPECT_EQ(map->bytesWith(Status::finished), size);
        EXPECT_EQ(map->currentStatus, Status::finished);
        EXPECT_EQ(map->notes.at("source"), "disc/" + name);
        EXPECT_EQ(map->notes.at("started"), "2026-12-09 20:56");
        size += 1000;
    }
    EXPECT_FALSE(again->mapOf("gone"));
}

TEST(FinishedListTest, ALineThatDoesNotReadRefusesTheWholeList)
{
    const struct
    {
        const char* name;
        std::string text;
        bool reads;
    } cases[] = {
        {"empty", "", true},
        {"comments and blank lines", "# a list\n\n# more\n", true},
        {"a line without its last line break", "a\tsource-size=7", true},
        {"an unknown escape", "a\\x\tsource-size=7\n", false},
        {"a backslash at the end", "a\tsource-size=7\\\n", false},
        {"a field without a key", "a\tsource-size=7\tloose\n", false},
        {"no size", "a\tcopy=1:2\n", false},
        {"a negative size", "a\tsource-size=-1\n", false},
        {"a size past 2^63", "a\tsource-size=9223372036854775808\n", false},
        {"a size with trailing text", "a\tsource-size=7x\n", false},
        {"no name", "\tsource-size=7\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        const auto list = FinishedList::parse(c.text, why);
        EXPECT_EQ(list.has_value(), c.reads);
        EXPECT_EQ(why.empty(), c.reads) << why;
    }
}

} // namespace
} // namespace brindlecap
