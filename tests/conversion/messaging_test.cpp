// The messaging layer's own rules: stores, folders, items and the path lookup.
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

TEST_F(MessagingTest, NothingWorksBeforeLogon) {
  Session idle(memory.backend());
  EXPECT_THROW(idle.Stores(), MessagingError);
  EXPECT_THROW(idle.GetFolderFromPath("\\\\Store\\A"), MessagingError);
}

TEST_F(MessagingTest, AStoreIsWrittenAsPartAndCompletedByRemove) {
  MessageStore store = addStore();
  EXPECT_TRUE(fs::exists(dir.path() / "Store.pst.part"));
  EXPECT_EQ(session.Stores().GetStoreFromID(store.EntryID()).displayName(), "Store");
  store.Remove();
  EXPECT_TRUE(fs::exists(dir.path() / "Store.pst"));
  EXPECT_FALSE(fs::exists(dir.path() / "Store.pst.part"));
  EXPECT_THROW(session.Stores().GetStoreFromID(store.EntryID()), MessagingError);
  EXPECT_THROW(store.IPMRootFolder(), MessagingError);
}

TEST_F(MessagingTest, AnExistingFileIsNeverTakenOver) {
  dir.write("Store.pst", "keep");
  EXPECT_THROW(addStore(), MessagingError);
  dir.write("Other.pst.part", "keep");
  EXPECT_THROW(addStore("Other"), std::exception);
  EXPECT_TRUE(memory.stores.empty());
}

TEST_F(MessagingTest, LogoffCompletesAStoreLeftAttached) {
  MessageStore store = addStore();
  session.Logoff();
  EXPECT_TRUE(memory.stores.at(0)->closed);
  EXPECT_TRUE(fs::exists(dir.path() / "Store.pst"));
  EXPECT_FALSE(session.loggedOn());
}

TEST_F(MessagingTest, FoldersAreFoundByExactNameAndNamesAreNotReused) {
  MessageStore store = addStore();
  FolderCollection top = store.IPMRootFolder().Folders();
  Folder mail = top.Add("Mail", kFolderTypeMail);
  EXPECT_EQ(mail.Name(), "Mail");
  EXPECT_EQ(top.Item("Mail"), mail);
  EXPECT_THROW(top.Item("mail"), MessagingError);
  EXPECT_FALSE(top.Find("mail").has_value());
  EXPECT_THROW(top.Add("Mail", kFolderTypeMail), MessagingError);
  EXPECT_THROW(top.Add("Calendar", 9), MessagingError);
  EXPECT_THROW(top.Add("", kFolderTypeMail), MessagingError);
  EXPECT_EQ(top.All().size(), 1u);
}

TEST_F(MessagingTest, GetFolderFromPathWalksFromTheStoreAndRemembersHits) {
  MessageStore store = addStore();
  Folder a = store.IPMRootFolder().Folders().Add("A", kFolderTypeMail);
  Folder b = a.Folders().Add("B", kFolderTypeMail);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Store\\A\\B"), b);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Store\\A"), a);
  EXPECT_THROW(session.GetFolderFromPath("\\\\Store\\A\\C"), MessagingError);
  EXPECT_THROW(session.GetFolderFromPath("\\\\Nope\\A"), MessagingError);
  EXPECT_THROW(session.GetFolderFromPath("Store\\A"), MessagingError);
  // A folder created after a failed lookup is found: only hits are remembered.
  Folder c = a.Folders().Add("C", kFolderTypeMail);
  EXPECT_EQ(session.GetFolderFromPath("\\\\Store\\A\\C"), c);
}

TEST_F(MessagingTest, AnItemIsSavedOnlyWithImportedContent) {
  MessageStore store = addStore();
  Folder a = store.IPMRootFolder().Folders().Add("A", kFolderTypeMail);
  MailItem empty = a.Items().Add(kItemTypeMail);
  EXPECT_THROW(empty.Save(), MessagingError);
  EXPECT_THROW(empty.Import(dir.write("junk.msg", "junk"), kImportFormatRfc822), MessagingError);
  EXPECT_THROW(empty.Save(), MessagingError);
  EXPECT_THROW(a.Items().Add(1), MessagingError);

  MailItem item = a.Items().Add(kItemTypeMail);
  item.Import(dir.write("ok.msg", "Subject: x\n\nbody"), kImportFormatRfc822);
  EXPECT_THROW(item.Import(dir.path() / "ok.msg", 3), MessagingError);
  item.Save();
  EXPECT_THROW(item.Save(), MessagingError);
  EXPECT_EQ(memory.stores.at(0)->folders.at(a.id()).messages.size(), 1u);
}

TEST(MAPIUtils, SetsOrReplacesOneIntegerProperty) {
  pst::messaging::MessageContent m;
  MAPIUtils utils;
  utils.HrSetOneProp(m, kTagMessageFlags, 0x08, true);
  utils.HrSetOneProp(m, kTagMessageFlags, kMessageFlagRead, true);
  ASSERT_EQ(m.props.size(), 1u);
  EXPECT_EQ(std::get<int32_t>(m.props[0].value), kMessageFlagRead);
  EXPECT_THROW(utils.HrSetOneProp(m, 0x0037001F, 1, true), MessagingError);
}

TEST(Session, LogonFailsClearlyWithoutABackend) {
  Session session(std::make_shared<MessagingBackend>());
  EXPECT_THROW(session.Logon(), MessagingError);
}

}  // namespace
}  // namespace conversion::test
