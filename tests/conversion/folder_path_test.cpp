// Folder paths of list entries and the list of folders to create.
#include <gtest/gtest.h>

#include "conversion/drive_roots.h"
#include "conversion/folder_path.h"

namespace conversion {
namespace {

// Where a full path starts: "/" here, a drive on Windows.
#ifdef _WIN32
const std::string kRoot = "C:";
#else
const std::string kRoot;
#endif

TEST(FolderPathOf, MirrorsTheFoldersBelowTheRoot) {
  EXPECT_EQ(FolderPathOf("  " + kRoot + "/srv/mail/Users/bob/Inbox/1.msg  "), "srv\\mail\\Users\\bob\\Inbox");
  EXPECT_EQ(FolderPathOf(kRoot + "//srv/./mail//x/../ In box /1.msg"), "srv\\mail\\ In box ");
  for (const std::string& entry : {std::string(), std::string("   "), std::string("1.msg"), std::string("relative/dir/1.msg"),
                                  kRoot + "/1.msg", kRoot + "/../1.msg"}) {
    std::string reason;
    EXPECT_EQ(FolderPathOf(entry, &reason), std::nullopt) << entry;
    EXPECT_FALSE(reason.empty()) << entry;
  }
}

#ifndef _WIN32  // Windows names are Unicode, and Windows has no WSL drives in it
// A store copied from Windows without converting its names keeps them in Windows-1252.
TEST(FolderPathOf, ReadsNamesThatAreNotUtf8AsWindows1252) {
  EXPECT_EQ(FolderPathOf("/srv/Entw\xfcrfe/Gr\xc3\xbc\xc3\x9f" "e/\x80 \x81\x8d/1.msg"),
            "srv\\Entw\u00fcrfe\\Gr\u00fc\u00dfe\\\u20ac \u0081\u008d");
}

TEST(FolderPathOf, TakesWindowsDrivesUnderWslForDriveRoots) {
  OverrideWslDetection(true, "/tmp/t1/mnt");
  EXPECT_EQ(FolderPathOf("/tmp/t1/mnt/c/MDaemon/Users/example.com/bob/1.msg"), "MDaemon\\Users\\example.com\\bob");
  EXPECT_EQ(FolderPathOf("/tmp/t1/mnt/D/Mail/1.msg"), "Mail");
  EXPECT_EQ(FolderPathOf("/tmp/t1/mnt/cd/Mail/1.msg"), "tmp\\t1\\mnt\\cd\\Mail");
  EXPECT_EQ(FolderPathOf("/srv/mnt/c/x/1.msg"), "srv\\mnt\\c\\x");
  std::string reason;
  EXPECT_EQ(FolderPathOf("/tmp/t1/mnt/c/1.msg", &reason), std::nullopt);
  EXPECT_NE(reason.find("drive root"), std::string::npos);
  OverrideWslDetection(false, "/tmp/t1/mnt");
  EXPECT_EQ(FolderPathOf("/tmp/t1/mnt/c/MDaemon/1.msg"), "tmp\\t1\\mnt\\c\\MDaemon");
  OverrideWslDetection(std::nullopt);
}
#endif

// The Windows build mirrors the folders below the drive or share a path starts with.
TEST(WindowsRootLength, FindsTheDriveOrShareAPathStartsWith) {
  EXPECT_EQ(WindowsRootLength("D:/MDaemon/Users"), 2u);
  EXPECT_EQ(WindowsRootLength("d:"), 2u);
  EXPECT_EQ(WindowsRootLength("//server/MDaemon/Users"), 16u);
  EXPECT_EQ(WindowsRootLength("//server/share"), 14u);
  EXPECT_EQ(WindowsRootLength("//?/D:/x"), 6u);
  EXPECT_EQ(WindowsRootLength("//?/UNC/server/share/x"), 20u);
  for (const char* relative : {"", "D:x", "DD:/x", "1:/x", "/x", "//server", "//server/", "///share/x", "x/D:/y"})
    EXPECT_EQ(WindowsRootLength(relative), 0u) << relative;
}

TEST(BuildFolderList, AddsAncestorsSortsAndRemovesDuplicates) {
  int yields = 0;
  EXPECT_EQ(BuildFolderList({"m\\b\\c", "", "m", "M\\x", "m\\b\\c", "a b", "a\\b"}, [&] { ++yields; }),
            (StringList{"M", "M\\x", "a", "a b", "a\\b", "m", "m\\b", "m\\b\\c"}));
  EXPECT_EQ(yields, 3);
  EXPECT_TRUE(BuildFolderList({"", ""}, [] {}).empty());
}

}  // namespace
}  // namespace conversion
