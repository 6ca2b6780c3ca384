#include "batch/source_list.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace luma {
namespace {

TSourceList ListOf(int count) {
    TSourceList list;
    for (int i = 0; i < count; ++i) list.AddFile("/pics/p" + std::to_string(i) + ".jpg");
    return list;
}

TEST(SourceListTest, AcceptsImageExtensionsOnlyAndSelectsTheFirst) {
    TSourceList list;
    EXPECT_FALSE(list.AddFile("/pics/notes.txt"));
    EXPECT_FALSE(list.AddFile("/pics/folder"));
    EXPECT_FALSE(list.AddFile("/pics/clip.wmf"));
    EXPECT_TRUE(list.AddFile("/pics/a.JPEG"));
    EXPECT_TRUE(list.AddFile("/pics/sub/b.tiff"));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list[0].Caption, "a.JPEG");
    EXPECT_EQ(list[0].Path, "/pics/");
    EXPECT_EQ(list[1].FullPath(), "/pics/sub/b.tiff");
    EXPECT_TRUE(list[0].Selected);
    EXPECT_FALSE(list[1].Selected);
    EXPECT_EQ(list.AddedCount, 2);
    EXPECT_EQ(list.DestinationFolder, "/pics/") << "only the first file fills the destination";
}

TEST(SourceListTest, DuplicatesAreTheSameFileNotTheSameLetters) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "x.jpg", "a");
    test::WriteFileBytes(dir / "X.JPG", "b");
    TSourceList list;
    EXPECT_TRUE(list.AddFile((dir / "x.jpg").string()));
    EXPECT_FALSE(list.AddFile((dir / "x.jpg").string()));
    EXPECT_FALSE(list.AddFile((dir.path() / "." / "x.jpg").string()));
    EXPECT_TRUE(list.AddFile((dir / "X.JPG").string())) << "two files that differ in case are two files";
    EXPECT_EQ(list.Count(), 2u);
}

TEST(SourceListTest, RemoveSelectedKeepsTheLowestDeletedIndexSelected) {
    TSourceList list = ListOf(6);
    list.SelectOnly(2);
    list.Select(5);
    list.RemoveSelected();
    ASSERT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.FirstSelected(), 2u);
    EXPECT_EQ(list[2].Caption, "p3.jpg");
    EXPECT_EQ(list.SelectedCount(), 1u);
}

TEST(SourceListTest, RemovingTheLastEntrySelectsTheNewLast) {
    TSourceList list = ListOf(3);
    list.SelectOnly(2);
    list.RemoveSelected();
    EXPECT_EQ(list.FirstSelected(), 1u);
}

TEST(SourceListTest, MovesOnlyASingleSelection) {
    TSourceList list = ListOf(3);
    list.SelectOnly(1);
    EXPECT_TRUE(list.CanMoveUp());
    list.MoveUp();
    EXPECT_EQ(list[0].Caption, "p1.jpg");
    EXPECT_EQ(list.FirstSelected(), 0u);
    EXPECT_FALSE(list.CanMoveUp());
    list.MoveDown();
    list.MoveDown();
    EXPECT_EQ(list[2].Caption, "p1.jpg");
    EXPECT_FALSE(list.CanMoveDown());

    list.SelectAll();
    EXPECT_FALSE(list.CanMoveUp());
    EXPECT_FALSE(list.CanMoveDown());
    list.MoveUp();
    EXPECT_EQ(list[2].Caption, "p1.jpg");
}

}  // namespace
}  // namespace luma
