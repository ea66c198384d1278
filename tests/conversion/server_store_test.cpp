// The server's store: its per-folder message index and its mailbox layout.
#include <gtest/gtest.h>

#include "conversion/folder_path.h"
#include "conversion/mailbox_layout.h"
#include "conversion/message_status.h"
#include "conversion/server_index.h"
#include "temp_dir.h"

namespace conversion {
namespace {

std::string le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string header(uint32_t version) {
  std::string h = le32(version) + le32(77) + le32(9) + le32(3) + std::string(16, '\0') + "\r\n";
  return h + std::string(36 - h.size(), '\0');
}

std::string record(const std::string& name, uint8_t flags) {
  std::string r = name + std::string(23 - name.size(), '\0');
  r += static_cast<char>(flags);
  return r + le32(5) + le32(1234) + le32(1700000000);
}

TEST(ServerIndex, ReadsEveryRecordAndRefusesDamagedIndexes) {
  const ServerIndex index = ParseServerIndex(header(1) + record("md5000.msg", kServerSeen | kServerAnswered) +
                                             record("MD5001.MSG", kServerFlagged | kServerDeleted | kServerDraft));
  ASSERT_EQ(index.kind, ServerIndex::Kind::Read);
  EXPECT_EQ(index.find("MD5000.msg"), uint8_t{kServerSeen | kServerAnswered});
  EXPECT_EQ(index.find("md5001.msg"), uint8_t{kServerFlagged | kServerDeleted | kServerDraft});
  EXPECT_EQ(index.find("md5002.msg"), std::nullopt);

  for (const std::string& bytes : {header(2) + record("a.msg", kServerSeen), header(1) + record("a.msg", 0).substr(0, 20),
                                   header(1).substr(0, 30)}) {
    const ServerIndex damaged = ParseServerIndex(bytes);
    EXPECT_EQ(damaged.kind, ServerIndex::Kind::Unusable);
    EXPECT_FALSE(damaged.problem.empty());
  }

  test::TempDir dir;
  EXPECT_EQ(ReadServerIndex(dir.path()).kind, ServerIndex::Kind::Missing);
  dir.write("imap.mrk", header(1) + record("x.msg", kServerSeen));
  const ServerIndex found = ReadServerIndex(dir.path());
  EXPECT_EQ(found.kind, ServerIndex::Kind::Read);
  EXPECT_EQ(found.file, dir.path() / "imap.mrk");
}

TEST(MessageStatus, FollowsTheServerFlags) {
  const MessageStatus unread = StatusFromServerFlags(kServerRecent);
  EXPECT_EQ(MessageFlagsFor(unread, false), 0);
  const MessageStatus all = StatusFromServerFlags(0x3F);
  EXPECT_TRUE(all.read && all.answered && all.flagged && all.draft && all.deleted);
  EXPECT_EQ(MessageFlagsFor(all, true), 0x01 | 0x08 | 0x10);

  pst::messaging::MessageContent message;
  AddStatusProperties(MessageStatus{}, message);
  EXPECT_TRUE(message.props.empty() && message.named.empty());
  AddStatusProperties(all, message);
  auto value = [&](pst::PropTag tag) -> std::optional<int32_t> {
    for (const auto& p : message.props)
      if (p.tag == tag) return std::get<int32_t>(p.value);
    return std::nullopt;
  };
  EXPECT_EQ(value(0x10810003), 102);    // replied to the sender
  EXPECT_EQ(value(0x10800003), 0x105);  // the replied icon
  EXPECT_EQ(value(0x10900003), 2);      // flagged for follow-up
  EXPECT_EQ(message.named.size(), 4u);
}

TEST(MailboxLayout, GivesEveryMailboxAndTopFolderItsOwnStore) {
  test::TempDir dir;
  const auto root = dir.path() / "MDaemon";
  std::filesystem::create_directories(root / "Users" / "example.com" / "alice");
  std::filesystem::create_directories(root / "Public Folders");
  std::string why;
  const auto layout = DetectStoreLayout(root, &why);
  ASSERT_TRUE(layout) << why;
  auto place = [&](const StoreLayout& l, const std::string& relative) {
    const auto p = PlaceOf(l, root / relative);
    return p ? p->store + "|" + p->folderPath + (p->isMailbox ? "|mailbox" : "") : std::string("none");
  };
  EXPECT_EQ(place(*layout, "Users/example.com/alice/1.msg"), "alice@example.com|Inbox|mailbox");
  EXPECT_EQ(place(*layout, "Users/example.com/alice/Lists.imap/Work.IMAP/1.msg"),
            "alice@example.com|Lists\\Work|mailbox");
  EXPECT_EQ(place(*layout, "Users/example.com/alice/Deleted Items.IMAP/1.msg"),
            "alice@example.com|Deleted Items|mailbox");
  EXPECT_EQ(place(*layout, "Public Folders/News.IMAP/1.msg"), "Public Folders|News");
  EXPECT_EQ(place(*layout, "Public Folders/1.msg"), "Public Folders|Public Folders");
  EXPECT_EQ(PlaceOf(*layout, dir.path() / "elsewhere" / "1.msg"), std::nullopt);
  // A backslash stays inside its name: one mailbox, one folder, as in a run into one PST.
  const std::string stand(kBackslashStandIn);
  EXPECT_EQ(place(*layout, "Users/example.com/back\\slash/x\\y.IMAP/1.msg"),
            "back" + stand + "slash@example.com|x" + stand + "y|mailbox");
  // Two mailboxes whose addresses read the same are still told apart by their folders.
  EXPECT_EQ(PlaceOf(*layout, root / "Users/b/c@a/1.msg")->folder, "Users/b/c@a");
  EXPECT_EQ(PlaceOf(*layout, root / "Users/a@b/c/1.msg")->folder, "Users/a@b/c");
  EXPECT_EQ(PlaceOf(*layout, root / "Public Folders/News.IMAP/1.msg")->folder, "Public Folders");

  const auto users = DetectStoreLayout(root / "Users", &why);
  ASSERT_TRUE(users);
  EXPECT_EQ(users->given, StoreLayout::Given::UsersFolder);
  EXPECT_EQ(place(*users, "Users/example.com/alice/Sent.IMAP/1.msg"), "alice@example.com|Sent|mailbox");
  const auto domain = DetectStoreLayout(root / "Users" / "example.com" / "", &why);
  ASSERT_TRUE(domain);
  EXPECT_EQ(domain->given, StoreLayout::Given::DomainFolder);
  EXPECT_EQ(place(*domain, "Users/example.com/alice/1.msg"), "alice@example.com|Inbox|mailbox");
  EXPECT_FALSE(DetectStoreLayout(root / "Public Folders", &why));
  EXPECT_NE(why.find("Users"), std::string::npos);
}

}  // namespace
}  // namespace conversion
