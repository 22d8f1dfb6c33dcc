// SPDX-License-Identifier: GPL-3.0-or-later
#include "path_text.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

TEST(PathTextTest, TheBareNameIsWhatFollowsTheLastSlash)
{
    EXPECT_EQ(bareName("/media/cdrom/video/clip.avi"), "clip.avi");
    EXPECT_EQ(bareName("clip.avi"), "clip.avi");
    EXPECT_EQ(bareName("/media/cdrom/"), "");
    EXPECT_EQ(bareName("/a b/ü name.bin"), "ü name.bin");
    EXPECT_EQ(bareName(""), "");
}

TEST(PathTextTest, TheFolderIsWhatPrecedesTheLastSlash)
{
    EXPECT_EQ(folderOf("/media/cdrom/video/clip.avi"), "/media/cdrom/video");
    EXPECT_EQ(folderOf("out//clip.avi"), "out");
    EXPECT_EQ(folderOf("/clip.avi"), "/");
    EXPECT_EQ(folderOf("clip.avi"), ".");
}

TEST(PathTextTest, FolderAndNameJoinWithExactlyOneSlash)
{
    EXPECT_EQ(joinPath("/home/me/rescued", "clip.avi"), "/home/me/rescued/clip.avi");
    EXPECT_EQ(joinPath("/home/me/rescued/", "clip.avi"), "/home/me/rescued/clip.avi");
    EXPECT_EQ(joinPath("/", "clip.avi"), "/clip.avi");
    EXPECT_EQ(joinPath("//", "clip.avi"), "/clip.avi");
    EXPECT_EQ(joinPath("out", "clip.avi"), "out/clip.avi");
    EXPECT_EQ(joinPath("", "clip.avi"), "") << "no folder must not mean the current one";
}

} // namespace
} // namespace brindlecap
