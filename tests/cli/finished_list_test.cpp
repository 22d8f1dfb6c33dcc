// SPDX-License-Identifier: GPL-3.0-or-later
#include "finished_list.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

using Status = RescueMap::Status;

// What only escaping keeps on one line comes back as it went in (the names
// a shell makes awkward are read back end to end elsewhere); a line taken
// out is gone, and a line stands for its map rescued whole.
TEST(FinishedListTest, EachCopysLineComesBackAsItsWholeMap)
{
    FinishedList list;
    RescueMap map(5000);
    map.mark({0, 5000}, Status::finished);
    map.notes = {{"copy", "1:2"}, {"source", "a\\b\tc\rd\ne=f"}};
    for (const auto* name : {"back\\slash\\t", "carriage\rreturn", "gone"})
        list.put(name, map);
    list.remove("gone");
    std::string why;
    const auto again = FinishedList::parse(list.head() + list.lines(), why);
    ASSERT_TRUE(again) << why;
    for (const auto* name : {"back\\slash\\t", "carriage\rreturn"}) {
        const auto read = again->mapOf(name);
        ASSERT_TRUE(read) << name;
        EXPECT_EQ(read->blocks(), map.blocks());
        EXPECT_EQ(read->currentStatus, Status::finished);
        EXPECT_EQ(read->notes.at("source"), map.notes.at("source"));
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
        {"a terminal's escape in a bad field", "\x1B[2J\\q\tsource-size=7\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        const auto list = FinishedList::parse(c.text, why);
        EXPECT_EQ(list.has_value(), c.reads);
        EXPECT_EQ(why.empty(), c.reads) << why;
        // It is printed: no byte of the list reaches the terminal as it is.
        EXPECT_EQ(why.find('\x1B'), std::string::npos) << why;
    }
}

} // namespace
} // namespace brindlecap
