// Rules of the messaging layer that the run relies on without showing them.
#include <gtest/gtest.h>

#include "conversion/messaging.h"
#include "memory_backend.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;

class MessagingTest : public ::testing::Test {
 protected:
  MessagingTest() : session(memory.backend()) { session.Logon(); }
  MessageStore addStore(const std::string& name = "Store") {
    return session.Stores().AddPSTStore(dir.path() / (name + ".pst"), kStoreFormatDefault, name);
  }

  TempDir dir;
  MemoryBackend memory;
  Session session;
};

std::string contentOf(const fs::path& file) {
  std::string text;
  std::getline(std::ifstream(file), text);
  return text;
}

TEST_F(MessagingTest, AnExistingFileIsNeverTakenOverAndLogoffCompletesAStore) {
  dir.write("Taken.pst", "keep");
  dir.write("Busy.pst.part", "keep");  // another run writing
  EXPECT_EQ(addStore("Taken").filePath(), dir.path() / "Taken (2).pst");
  EXPECT_EQ(addStore("Busy").filePath(), dir.path() / "Busy (2).pst");
  EXPECT_EQ(contentOf(dir.path() / "Taken.pst"), "keep");
  EXPECT_EQ(contentOf(dir.path() / "Busy.pst.part"), "keep");

  MessageStore store = addStore();
  session.Logoff();
  EXPECT_TRUE(fs::exists(dir.path() / "Store.pst"));
  EXPECT_FALSE(fs::exists(dir.path() / "Store.pst.part"));
  EXPECT_THROW(store.IPMRootFolder(), MessagingError);
}

TEST_F(MessagingTest, GetFolderFromPathRemembersOnlyFoldersItFound) {
  Folder a = addStore().IPMRootFolder().Folders().Add("A", kFolderTypeMail);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Store\\A"), a);
  EXPECT_THROW(session.GetFolderFromPath("\\\\Store\\A\\C"), MessagingError);
  EXPECT_THROW(session.GetFolderFromPath("\\\\Store\\a"), MessagingError);
  Folder c = a.Folders().Add("C", kFolderTypeMail);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Store\\A\\C"), c);
}

TEST_F(MessagingTest, AnItemIsSavedOnlyOnceAndOnlyWithImportedContent) {
  Folder a = addStore().IPMRootFolder().Folders().Add("A", kFolderTypeMail);
  MailItem item = a.Items().Add(kItemTypeMail);
  EXPECT_THROW(item.Save(), MessagingError);
  EXPECT_THROW(item.Import(dir.write("junk.msg", "junk"), kImportFormatRfc822), MessagingError);
  EXPECT_THROW(item.Save(), MessagingError);
  item.Import(dir.write("ok.msg", "Subject: x\n\nbody"), kImportFormatRfc822);
  item.Save();
  EXPECT_THROW(item.Save(), MessagingError);
  EXPECT_EQ(memory.stores.at(0)->folders.at(a.id()).messages.size(), 1u);
}

}  // namespace
}  // namespace conversion::test
