// A store with nested non-ASCII folders, a message with every property type, 300 recipients,
// attachments of 0 B, 1 B and 12 MB and messages embedded two deep, read back by libpff
// (pypff and pffexport) and readpst.
#include <gtest/gtest.h>

#include "pst/messaging/named_property_map.h"
#include "pst/messaging/store.h"
#include "test_support.h"

namespace pst::messaging {
namespace {

constexpr size_t kBigAttachment = 12 * 1024 * 1024;
constexpr int kRecipients = 300;

// Byte i of the 12 MB attachment, as read_store.py expects it.
Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
  return b;
}

MessageContent everyTypeMessage() {
  MessageContent m;
  m.props = {
      {0x001A001F, std::string("IPM.Note")},
      {0x0037001F, std::string("Every type – ✓")},
      {0x0E070003, int32_t{0x01}},
      {0x1000001F, std::string(100000, 'x') + "END"},
      {0x7D000002, int32_t{-2}},
      {0x7D010003, int32_t{-123456}},
      {0x7D020004, 1.5},
      {0x7D030005, -2.25},
      {0x7D040006, int64_t{123456789}},
      {0x7D050007, 40000.5},
      {0x7D06000A, static_cast<int32_t>(0x80004005u)},
      {0x7D07000B, int32_t{1}},
      {0x7D080014, int64_t{-9876543210}},
      {0x7D09001E, std::string("ascii eight")},
      {0x7D0A001F, std::string("Grüße 日本 \xF0\x9F\x93\xA7")},
      {0x7D0B0040, uint64_t{0x01DB7E3B23A54963}},
      {0x7D0C0048, Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {0x7D0D0102, Bytes{0, 1, 2, 0xFF}},
      {0x7D0E1003, std::vector<int32_t>{1, -2, 3}},
      {0x7D0F101F, std::vector<std::string>{"eins", "zwei", "drei"}},
      {0x7D101102, std::vector<Bytes>{{1}, {2, 2}}},
  };
  m.named = {{{parseGuid("00062008-0000-0000-c000-000000000046"), uint32_t{0x8510}}, PropType::Int32, int32_t{77}},
             {{parseGuid("00020329-0000-0000-c000-000000000046"), std::string("X-Vantorel-Test")},
              PropType::Unicode,
              std::string("named value")}};
  for (int i = 0; i < kRecipients; ++i) {
    const std::string address = "user" + std::to_string(i) + "@example.org";
    m.recipients.push_back({{0x0C150003, int32_t{i % 3 == 0 ? 1 : 2}},
                            {0x3001001F, "Empfänger " + std::to_string(i)},
                            {0x3002001F, std::string("SMTP")},
                            {0x3003001F, address}});
  }
  AttachmentContent empty;
  empty.props = {{0x3707001F, std::string("empty.bin")}, {0x37010102, Bytes{}}};
  AttachmentContent one;
  one.props = {{0x3707001F, std::string("one.bin")}, {0x37010102, Bytes{0x5A}}};
  AttachmentContent big;
  big.props = {{0x3707001F, std::string("big.bin")}, {0x37010102, pattern(kBigAttachment)}};
  m.attachments.push_back(std::move(empty));
  m.attachments.push_back(std::move(one));
  m.attachments.push_back(std::move(big));

  auto inner = std::make_unique<MessageContent>();
  inner->props = {{0x0037001F, std::string("Inner embedded")}, {0x1000001F, std::string("inner body")}};
  auto outer = std::make_unique<MessageContent>();
  outer->props = {{0x0037001F, std::string("Outer embedded")}, {0x1000001F, std::string("outer body")}};
  AttachmentContent innerAttachment;
  innerAttachment.props = {{0x3001001F, std::string("Inner embedded")}};
  innerAttachment.embedded = std::move(inner);
  outer->attachments.push_back(std::move(innerAttachment));
  AttachmentContent outerAttachment;
  outerAttachment.props = {{0x3001001F, std::string("Outer embedded")}};
  outerAttachment.embedded = std::move(outer);
  m.attachments.push_back(std::move(outerAttachment));
  return m;
}

MessageContent simple(const std::string& subject, int32_t flags) {
  MessageContent m;
  m.props = {{0x0037001F, subject}, {0x0E070003, flags}, {0x1000001F, "Body of " + subject}};
  return m;
}

class OracleTest : public ::testing::Test {
 protected:
#ifdef _WIN32
  // libpff and readpst are Linux programs: under Windows only our verifier reads the store.
  void SetUp() override {
    if (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) != "VerifierFindsNoError") {
      GTEST_SKIP() << "the Linux build reads this store back with libpff and readpst";
    }
  }
#endif
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    path_ = dir_->file("oracle.pst");
    auto store = Store::create(path_, "Oracle Store");
    const FolderId inbox = store->createFolder(store->ipmSubtree(), "Posteingang äöü");
    FolderId deep = store->createFolder(inbox, "Unterordner ✓ 日本");
    for (int level = 3; level <= 4; ++level) deep = store->createFolder(deep, "Ebene " + std::to_string(level));
    store->createFolder(store->ipmSubtree(), "Archive");
    store->addMessage(inbox, everyTypeMessage());
    store->addMessage(inbox, simple("Unread one", 0));
    store->addMessage(deep, simple("Deep message", 1));
    store->close();
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static test::TempDir* dir_;
  static std::filesystem::path path_;
};
test::TempDir* OracleTest::dir_ = nullptr;
std::filesystem::path OracleTest::path_;

TEST_F(OracleTest, VerifierFindsNoError) { EXPECT_EQ(test::verifierErrors(path_), ""); }

TEST_F(OracleTest, PypffReadsFoldersCountsAndEveryValue) {
  if (!test::havePypff()) GTEST_SKIP() << "pypff not installed for /usr/bin/python3";
  std::string out;
  const int status = test::run("/usr/bin/python3 " + test::quoted(std::string(VANTOREL_MESSAGING_TEST_DIR) +
                                                                   "/read_store.py") +
                                   " " + test::quoted(path_),
                               &out);
  EXPECT_EQ(status, 0) << out;
}

TEST_F(OracleTest, PffexportWritesRecipientsAttachmentsAndNestedMessages) {
  const auto target = dir_->file("export");
  std::string out;
  ASSERT_EQ(test::run("pffexport -q -t " + test::quoted(target) + " " + test::quoted(path_), &out), 0) << out;
  // libpff lists a folder's messages in node-id order, and message ids count up as Outlook's do.
  const auto message = dir_->file("export.export") / "Top of Outlook data file" / "Posteingang äöü" / "Message00001";
  const std::string recipients = test::readText(message / "Recipients.txt");
  size_t count = 0;
  for (size_t at = recipients.find("Email address:"); at != std::string::npos;
       at = recipients.find("Email address:", at + 1))
    ++count;
  EXPECT_EQ(count, static_cast<size_t>(kRecipients));
  EXPECT_NE(recipients.find("user299@example.org"), std::string::npos);
  EXPECT_NE(recipients.find("Empfänger 17"), std::string::npos);
  const auto attachments = message / "Attachments";
  EXPECT_EQ(std::filesystem::file_size(attachments / "1_empty.bin"), 0u);
  EXPECT_EQ(test::readText(attachments / "2_one.bin"), "Z");
  const Bytes big = pattern(kBigAttachment);
  EXPECT_TRUE(test::readText(attachments / "3_big.bin") == std::string(big.begin(), big.end()));
  const auto outer = attachments / "Attachment00004" / "Message00001";
  EXPECT_NE(test::readText(outer / "OutlookHeaders.txt").find("Subject:\t\t\t\tOuter embedded"), std::string::npos);
  const auto inner = outer / "Attachments" / "Attachment00001" / "Message00001";
  EXPECT_NE(test::readText(inner / "OutlookHeaders.txt").find("Subject:\t\t\t\tInner embedded"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_->file("export.export") / "Top of Outlook data file" / "Posteingang äöü" /
                                      "Unterordner ✓ 日本" / "Ebene 3" / "Ebene 4" / "Message00001"));
}

// Messages per mailbox file that readpst writes (one "From " line each), keyed by file name.
std::map<std::string, int> readpstMessages(const std::filesystem::path& target, const std::string& options,
                                           const std::filesystem::path& pst, std::string& all) {
  std::filesystem::create_directories(target);
  std::string out;
  EXPECT_EQ(test::run("readpst -j 0 " + options + " -o " + test::quoted(target) + " " + test::quoted(pst), &out), 0) << out;
  std::map<std::string, int> counts;
  for (const auto& e : std::filesystem::recursive_directory_iterator(target)) {
    if (!e.is_regular_file()) continue;
    const std::string text = test::readText(e.path());
    int n = text.rfind("From ", 0) == 0 ? 1 : 0;
    for (size_t at = text.find("\nFrom "); at != std::string::npos; at = text.find("\nFrom ", at + 1)) ++n;
    counts[std::filesystem::relative(e.path(), target).string()] = n;
    all += text;
  }
  return counts;
}

TEST_F(OracleTest, ReadpstExportsEveryMessageInItsFolder) {
  std::string all;
  const auto counts = readpstMessages(dir_->file("readpst"), "-D -te", path_, all);
  int total = 0;
  for (const auto& [file, n] : counts) total += n;
  EXPECT_EQ(total, 3);
  EXPECT_EQ(counts.count("Top of Outlook data file/Posteingang äöü/Unterordner ✓ 日本/Ebene 3/Ebene 4/mbox") +
                counts.count("Ebene 4.mbox"), 1u);
  EXPECT_NE(all.find("Deep message"), std::string::npos);
  EXPECT_NE(all.find("Body of Unread one"), std::string::npos);
  EXPECT_NE(all.find("Outer embedded"), std::string::npos);
}

}  // namespace
}  // namespace pst::messaging

namespace pst::messaging {
namespace {

TEST_F(OracleTest, ReadpstSeparateFilesHoldEachMessageAndTheWholeAttachment) {
  const auto separate = dir_->file("readpst-S");
  const auto mh = dir_->file("readpst-M");
  std::filesystem::create_directories(separate);
  std::filesystem::create_directories(mh);
  std::string out;
  ASSERT_EQ(test::run("readpst -S -o " + test::quoted(separate) + " " + test::quoted(path_), &out), 0) << out;
  ASSERT_EQ(test::run("readpst -M -o " + test::quoted(mh) + " " + test::quoted(path_), &out), 0) << out;
  bool bigFound = false;
  for (const auto& e : std::filesystem::recursive_directory_iterator(separate)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 8 && name.substr(name.size() - 8) == "-big.bin") {
      const Bytes expected = pattern(kBigAttachment);
      EXPECT_TRUE(test::readText(e.path()) == std::string(expected.begin(), expected.end()));
      bigFound = true;
    }
  }
  EXPECT_TRUE(bigFound);
  // One file per message, named by its number, in the folder that mirrors its own.
  int messages = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(mh))
    if (e.is_regular_file() && e.path().filename().string().find_first_not_of("0123456789") == std::string::npos)
      ++messages;
  EXPECT_EQ(messages, 3);
  EXPECT_TRUE(std::filesystem::exists(mh / "Oracle Store" / "Posteingang äöü" / "Unterordner ✓ 日本" / "Ebene 3" /
                                      "Ebene 4" / "1"));
}

}  // namespace
}  // namespace pst::messaging
