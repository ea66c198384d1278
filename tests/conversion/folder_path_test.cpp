// Folder paths of list entries and the list of folders to create.
#include <gtest/gtest.h>

#include "conversion/folder_path.h"

namespace conversion {
namespace {

TEST(FolderPathOf, MirrorsTheFoldersBelowTheRoot) {
  EXPECT_EQ(FolderPathOf("/srv/mail/Users/bob/Inbox/1.msg"), "srv\\mail\\Users\\bob\\Inbox");
  EXPECT_EQ(FolderPathOf("  /srv/1.msg  "), "srv");
  // Repeated separators and "." name the same folder; ".." goes up.
  EXPECT_EQ(FolderPathOf("//srv/./mail//x/../Inbox/1.msg"), "srv\\mail\\Inbox");
  // Spaces inside names are kept.
  EXPECT_EQ(FolderPathOf("/a b/ c /1.msg"), "a b\\ c ");
}

TEST(FolderPathOf, RefusesEntriesWithoutAFolderAndSaysWhy) {
  for (const char* entry : {"", "   ", "1.msg", "relative/dir/1.msg", "/1.msg", "/../1.msg", "/./1.msg"}) {
    std::string reason;
    EXPECT_EQ(FolderPathOf(entry, &reason), std::nullopt) << entry;
    EXPECT_FALSE(reason.empty()) << entry;
  }
}

TEST(FolderPathOf, ABackslashInANameDoesNotSplitIt) {
  EXPECT_EQ(FolderPathOf("/a\\b/1.msg"), "a" + std::string(kBackslashStandIn) + "b");
}

TEST(BuildFolderList, AddsAncestorsSortsAndRemovesDuplicates) {
  int yields = 0;
  const StringList list =
      BuildFolderList({"m\\b\\c", "", "m", "M\\x", "m\\b\\c", "m\\a"}, [&] { ++yields; });
  EXPECT_EQ(list, (StringList{"M", "M\\x", "m", "m\\a", "m\\b", "m\\b\\c"}));
  EXPECT_EQ(yields, 3);
  EXPECT_TRUE(BuildFolderList({"", ""}, [] {}).empty());
  EXPECT_TRUE(BuildFolderList({}, [] {}).empty());
}

TEST(BuildFolderList, EveryFolderFollowsItsParent) {
  // A sibling sorting between a parent and its child ("a b" between "a" and "a\b") is harmless.
  const StringList list = BuildFolderList({"a\\b", "a b", "a!\\z"}, [] {});
  EXPECT_EQ(list, (StringList{"a", "a b", "a!", "a!\\z", "a\\b"}));
}

TEST(SplitFolderPath, SplitsAtEveryBackslash) {
  EXPECT_EQ(SplitFolderPath("a\\b\\c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitFolderPath("a"), (std::vector<std::string>{"a"}));
}

}  // namespace
}  // namespace conversion
