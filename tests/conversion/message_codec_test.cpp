// The encoding a message crosses the reader's pipe in: everything the importer makes comes
// back equal, and bytes that are not one honest encoding are refused without harm.
#include "reader/message_codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace reader {
namespace {

using pst::messaging::AttachmentContent;
using pst::messaging::MessageContent;
using pst::messaging::NamedProperty;

constexpr size_t kBudget = size_t{1} << 30;

MessageContent richMessage(int embeddedLevels) {
  MessageContent m;
  m.props = {{0x0037001F, std::string("Subject \xC3\xA9")},
             {0x00170003, int32_t{-2}},
             {0x0E080014, int64_t{1} << 40},
             {0x00390040, uint64_t{133000000000000000}},
             {0x10000102, pst::Bytes{0, 1, 2, 255}},
             {0x3FDE0005, 0.1},
             {0x0E1B000B, int32_t{1}}};
  NamedProperty byId{{pst::Guid{1, 2, 3}, uint32_t{0x8503}}, pst::PropType::Boolean, int32_t{1}};
  NamedProperty byName{{pst::Guid{9}, std::string("X-Header")}, pst::PropType::Unicode, std::string("value")};
  NamedProperty list{{pst::Guid{7}, uint32_t{0x8101}}, pst::PropType::MvUnicode, std::vector<std::string>{"a", ""}};
  NamedProperty guid{{pst::Guid{8}, uint32_t{0x8102}}, pst::PropType::Guid, pst::Guid{4, 5}};
  m.named = {byId, byName, list, guid};
  m.named.push_back({{pst::Guid{6}, uint32_t{0x8103}}, pst::PropType::MvInt32, std::vector<int32_t>{1, -1}});
  m.named.push_back({{pst::Guid{6}, uint32_t{0x8104}}, pst::PropType::MvBinary, std::vector<pst::Bytes>{{1}, {}}});
  m.recipients = {{{0x3001001F, std::string("Bob")}, {0x0C150003, int32_t{1}}}, {}};
  AttachmentContent file;
  file.props = {{0x37010102, pst::Bytes(70000, 0x5A)}, {0x3701000D, pst::ObjectRef{0x1234, 77}}};
  m.attachments.push_back(std::move(file));
  if (embeddedLevels > 0) {
    AttachmentContent inner;
    inner.props = {{0x37050003, int32_t{5}}};
    inner.embedded = std::make_unique<MessageContent>(richMessage(embeddedLevels - 1));
    m.attachments.push_back(std::move(inner));
  }
  return m;
}

void expectEqual(const MessageContent& a, const MessageContent& b) {
  ASSERT_EQ(a.props.size(), b.props.size());
  for (size_t i = 0; i < a.props.size(); ++i) {
    EXPECT_EQ(a.props[i].tag, b.props[i].tag);
    EXPECT_TRUE(a.props[i].value == b.props[i].value) << "property " << i;
  }
  ASSERT_EQ(a.named.size(), b.named.size());
  for (size_t i = 0; i < a.named.size(); ++i) {
    EXPECT_TRUE(a.named[i].key == b.named[i].key);
    EXPECT_EQ(a.named[i].type, b.named[i].type);
    EXPECT_TRUE(a.named[i].value == b.named[i].value);
  }
  ASSERT_EQ(a.recipients.size(), b.recipients.size());
  for (size_t i = 0; i < a.recipients.size(); ++i) {
    ASSERT_EQ(a.recipients[i].size(), b.recipients[i].size());
    for (size_t j = 0; j < a.recipients[i].size(); ++j) EXPECT_TRUE(a.recipients[i][j].value == b.recipients[i][j].value);
  }
  ASSERT_EQ(a.attachments.size(), b.attachments.size());
  for (size_t i = 0; i < a.attachments.size(); ++i) {
    ASSERT_EQ(a.attachments[i].props.size(), b.attachments[i].props.size());
    for (size_t j = 0; j < a.attachments[i].props.size(); ++j)
      EXPECT_TRUE(a.attachments[i].props[j].value == b.attachments[i].props[j].value);
    ASSERT_EQ(!a.attachments[i].embedded, !b.attachments[i].embedded);
    if (a.attachments[i].embedded) expectEqual(*a.attachments[i].embedded, *b.attachments[i].embedded);
  }
}

std::span<const uint8_t> bytesOf(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

TEST(MessageCodec, AMessageComesBackEqualWithEverythingItHolds) {
  mail::ImportResult sent;
  sent.ok = true;
  sent.message = richMessage(3);
  sent.sha256 = mail::Sha256Of("abc", 3);
  std::string bytes;
  encodeImportResult(sent, bytes);
  std::string error;
  const auto back = decodeImportResult(bytesOf(bytes), kBudget, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_TRUE(back->ok);
  expectEqual(back->message, sent.message);
  EXPECT_EQ(back->sha256, sent.sha256);

  mail::ImportResult refused;
  refused.reason = "The file is empty (0 bytes).";
  bytes.clear();
  encodeImportResult(refused, bytes);
  const auto reason = decodeImportResult(bytesOf(bytes), kBudget, &error);
  ASSERT_TRUE(reason);
  EXPECT_FALSE(reason->ok);
  EXPECT_EQ(reason->reason, refused.reason);
  EXPECT_FALSE(reason->sha256);
}

TEST(MessageCodec, BytesThatAreNotOneHonestEncodingAreRefused) {
  mail::ImportResult sent;
  sent.ok = true;
  sent.message = richMessage(1);
  std::string bytes;
  encodeImportResult(sent, bytes);
  std::string error;

  // Cut anywhere, or with anything after it.
  for (size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 64)
    EXPECT_FALSE(decodeImportResult(bytesOf(bytes.substr(0, cut)), kBudget, &error)) << "cut at " << cut;
  EXPECT_FALSE(decodeImportResult(bytesOf(bytes + "x"), kBudget, &error));

  // A count that claims more than follows is refused before anything is allocated for it.
  std::string liar = bytes;
  const size_t propCount = 1 + 8 + sent.reason.size();  // after the flag and the empty reason
  for (int i = 0; i < 8; ++i) liar[propCount + i] = '\xFF';
  EXPECT_FALSE(decodeImportResult(bytesOf(liar), kBudget, &error));
  EXPECT_NE(error.find("count"), std::string::npos) << error;

  // A value of another kind than its tag's type names (a string where an integer belongs).
  std::string wrongKind = bytes;
  wrongKind[propCount + 8 + 4] = 3;
  EXPECT_FALSE(decodeImportResult(bytesOf(wrongKind), kBudget, &error));

  // More memory than the sender could have held, and deeper nesting than allowed.
  EXPECT_FALSE(decodeImportResult(bytesOf(bytes), 4096, &error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
  mail::ImportResult deep;
  deep.ok = true;
  deep.message = richMessage(kMaxNesting + 1);
  std::string deepBytes;
  encodeImportResult(deep, deepBytes);
  EXPECT_FALSE(decodeImportResult(bytesOf(deepBytes), kBudget, &error));
  EXPECT_NE(error.find("deep"), std::string::npos) << error;
}

}  // namespace
}  // namespace reader
