// A folder of 20,000 messages: its contents table spans many row-matrix blocks.
#include <gtest/gtest.h>

#include "pst/messaging/store.h"
#include "test_support.h"

namespace pst::messaging {
namespace {

constexpr int kMessages = 20000;

TEST(LargeFolder, TwentyThousandMessagesAreAllListedAndReadable) {
  test::TempDir dir;
  const auto path = dir.file("large.pst");
  {
    auto store = Store::create(path, "Large");
    const FolderId folder = store->createFolder(store->ipmSubtree(), "Bulk");
    for (int i = 0; i < kMessages; ++i) {
      MessageContent m;
      m.props = {{0x0037001F, "Message " + std::to_string(i)},
                 {0x0E070003, int32_t{i % 10 == 0 ? 0 : 1}},
                 {0x0042001F, std::string("Sender ") + std::to_string(i % 97)},
                 {0x1000001F, "Body " + std::to_string(i)}};
      m.recipients.push_back({{0x3001001F, std::string("To")}, {0x3003001F, std::string("to@example.org")}});
      store->addMessage(folder, m);
    }
    store->close();
  }
  EXPECT_EQ(test::verifierErrors(path), "");
  {
    ndb::NdbReader reader(path);
    Nid folder = 0;
    for (const auto& [id, row] : test::readTable(reader, 0x802D))
      if (row.count(0x3001001F) && std::get<std::string>(row.at(0x3001001F)) == "Bulk") {
        folder = id;
        EXPECT_EQ(std::get<int32_t>(row.at(0x36020003)), kMessages);
        EXPECT_EQ(std::get<int32_t>(row.at(0x36030003)), kMessages / 10);
      }
    ASSERT_NE(folder, 0u);
    // Every message has its row, keyed by its NID, with its own subject.
    const auto rows = test::readTable(reader, (folder & ~0x1Fu) | 0x0E);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kMessages));
    size_t matched = 0;
    for (const auto& n : reader.nodes()) {
      if (nidType(n.nid) != NidType::NormalMessage) continue;
      const auto it = rows.find(n.nid);
      ASSERT_NE(it, rows.end());
      const auto& subject = std::get<std::string>(it->second.at(0x0037001F));
      const int i = std::stoi(subject.substr(subject.find(' ') + 1));
      EXPECT_EQ(std::get<int32_t>(it->second.at(0x0E070003)), i % 10 == 0 ? 0 : 1);
      ++matched;
    }
    EXPECT_EQ(matched, static_cast<size_t>(kMessages));
  }
  if (!test::havePypff()) GTEST_SKIP() << "pypff not installed for /usr/bin/python3";
  std::string out;
  const std::string script =
      "import pypff,sys\n"
      "f=pypff.file(); f.open(sys.argv[1])\n"
      "top=[x for x in f.root_folder.sub_folders if x.name=='Top of Outlook data file'][0]\n"
      "bulk=[x for x in top.sub_folders if x.name=='Bulk'][0]\n"
      "n=bulk.number_of_sub_messages\n"
      "subjects={bulk.get_sub_message(i).subject for i in (0, n//2, n-1)} if n else set()\n"
      "e={x.entry_type:x for x in bulk.get_record_set(0).entries}\n"
      "print(n, e[0x3602].data_as_integer, e[0x3603].data_as_integer, sorted(subjects))\n";
  ASSERT_EQ(test::run("/usr/bin/python3 -c \"" + script + "\" " + test::quoted(path), &out), 0) << out;
  EXPECT_EQ(out.substr(0, out.find(' ', out.find(' ', out.find(' ') + 1) + 1)), "20000 20000 2000") << out;
  EXPECT_NE(out.find("Message 19999"), std::string::npos) << out;
}

}  // namespace
}  // namespace pst::messaging
