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
