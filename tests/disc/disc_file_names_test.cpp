// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_file_names.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

TEST(DiscFileNamesTest, ANameNoFolderCanHoldIsMadeOne)
{
    const struct
    {
        std::string onDisc;
        std::string made;
    } cases[] = {
        {"IMG_0001.JPG", "IMG_0001.JPG"},
        {"a/b", "a_b"},
        {std::string("a\0b", 3), "a_b"},
        {".", "_."},
        {"..", "_.."},
        {"", "_"},
        {"...", "..."},
        // Cut at 255 bytes, never inside a character.
        {std::string(300, 'x'), std::string(255, 'x')},
        {std::string(254, 'a') + "\xC3\xA9", std::string(254, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.onDisc);
        EXPECT_EQ(fileNameFor(c.onDisc), c.made);
    }
    EXPECT_EQ(folderNameForLabel("HOLIDAY_2009                    "), "HOLIDAY_2009");
    EXPECT_EQ(folderNameForLabel("   "), "disc");
    EXPECT_EQ(folderNameForLabel(" A/B "), "A_B");
}

} // namespace
} // namespace brindlecap
