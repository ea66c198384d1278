// Folder lookup by backslash path, with its skipping rules.
#include <gtest/gtest.h>

#include "conversion/open_mapi_folder.h"
#include "memory_backend.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

class OpenMAPIFolderTest : public ::testing::Test {
 protected:
  OpenMAPIFolderTest() : session(memory.backend()) {
    session.Logon();
    MessageStore store = session.Stores().AddPSTStore(dir.path() / "s.pst", kStoreFormatDefault, "Store");
    root = store.IPMRootFolder();
    a = root->Folders().Add("A", kFolderTypeMail);
    b = a->Folders().Add("B", kFolderTypeMail);
  }
  std::optional<Folder> open(const std::string& path, bool* complete = nullptr) {
    return OpenMAPIFolder(session, path, complete);
  }

  TempDir dir;
  MemoryBackend memory;
  Session session;
  std::optional<Folder> root, a, b;
};

TEST_F(OpenMAPIFolderTest, WalksFromTheStoreRoot) {
  bool complete = false;
  EXPECT_EQ(open("\\Store\\A\\B", &complete), b);
  EXPECT_TRUE(complete);
  EXPECT_EQ(open("\\Store"), root);
  // No explorer window: a relative path starts at the stores too.
  EXPECT_EQ(open("Store\\A"), a);
}

TEST_F(OpenMAPIFolderTest, EmptyComponentsAndATrailingBackslashAreSkipped) {
  bool complete = true;
  EXPECT_EQ(open("\\\\Store\\A", &complete), a);
  EXPECT_FALSE(complete);
  EXPECT_EQ(open("\\Store\\A\\\\B"), b);
  EXPECT_EQ(open("\\Store\\A\\"), a);
}

TEST_F(OpenMAPIFolderTest, AMissingComponentLeavesTheFolderReachedSoFar) {
  bool complete = true;
  EXPECT_EQ(open("\\Store\\X\\A", &complete), a);  // X skipped, A looked up below the root
  EXPECT_FALSE(complete);
  EXPECT_EQ(open("\\Store\\A\\X"), a);
  EXPECT_EQ(open("\\Nope\\Store\\A"), a);  // no folder yet: the next one is again a store
  EXPECT_EQ(open("\\store\\A"), std::nullopt);  // names compare exactly
}

TEST_F(OpenMAPIFolderTest, PathsWithoutComponentsReturnNone) {
  bool complete = true;
  EXPECT_EQ(open("", &complete), std::nullopt);
  EXPECT_FALSE(complete);
  EXPECT_EQ(open("\\"), std::nullopt);
  EXPECT_EQ(open("\\\\"), std::nullopt);
}

TEST_F(OpenMAPIFolderTest, NoSessionOrARemovedStoreGivesNone) {
  Session idle(memory.backend());
  EXPECT_EQ(OpenMAPIFolder(idle, "\\Store\\A"), std::nullopt);
  session.Stores().GetStoreFromID(session.Stores().GetStoreFromID("vantorel-store-1").EntryID()).Remove();
  EXPECT_EQ(open("\\Store\\A"), std::nullopt);
}

}  // namespace
}  // namespace conversion::test
