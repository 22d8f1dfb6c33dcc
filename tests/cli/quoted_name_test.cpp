// SPDX-License-Identifier: GPL-3.0-or-later
#include "quoted_name.h"
#include "run_process.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

TEST(QuotedNameTest, NamesAreQuotedAsTheShellWouldTakeThemBack)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/media/disc/IMG_0001.JPG", "/media/disc/IMG_0001.JPG"},
        {"ünïcødé.txt", "ünïcødé.txt"},
        {"with space.bin", "'with space.bin'"},
        {"it's", "'it'\\''s'"},
        {"new\nline", "'new'$'\\n''line'"},
        {"tab\there", "'tab'$'\\t''here'"},
        {"bad\xFF"
         "byte",
         "'bad'$'\\xFF''byte'"},
        {"", "''"},
    };
    for (const auto& [name, quoted] : cases) {
        SCOPED_TRACE(quoted);
        EXPECT_EQ(quotedName(name), quoted);
        // The shell reads it back as the very same bytes, on one line.
        EXPECT_EQ(quotedName(name).find('\n'), std::string::npos);
        const auto echoed =
            testing::runProcess("/bin/bash", {"-c", "printf %s " + quotedName(name)});
        EXPECT_EQ(echoed.out, name);
    }
}

} // namespace
} // namespace brindlecap
