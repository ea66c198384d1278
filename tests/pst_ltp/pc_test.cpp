// Property contexts written by our writer, read back by our reader and by libpff.
#include <gtest/gtest.h>

#include "ltp_test_util.h"
#include "pst/ltp/pc_reader.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/value_codec.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

using test::filled;

constexpr Nid kStore = 0x21;

// Writes a file whose message store node holds `props`.
void writeStore(const std::filesystem::path& path, const std::vector<Property>& props) {
  ndb::NdbWriter w(path);
  SubnodeBuilder subs;
  const Bid data = writePropertyContext(w, props, subs);
  w.addNode(kStore, data, subs.write(w), 0);
  w.finish();
}

std::vector<Property> readStore(const std::filesystem::path& path, size_t* subnodeCount = nullptr) {
  ndb::NdbReader r(path);
  Problems problems;
  auto props = readPropertyContext(test::sourceOf(r, kStore), problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  if (subnodeCount) *subnodeCount = r.readSubnodes(r.findNode(kStore)->subnodes).size();
  return props;
}

void expectSameProperties(const std::vector<Property>& written, const std::vector<Property>& read) {
  ASSERT_EQ(written.size(), read.size());
  std::map<PropTag, const PropValue*> byTag;
  for (const auto& p : read) byTag[p.tag] = &p.value;
  for (const auto& p : written) {
    ASSERT_TRUE(byTag.count(p.tag)) << tagText(p.tag);
    EXPECT_TRUE(*byTag[p.tag] == p.value) << tagText(p.tag);
  }
}

void expectSameVerdictFromLibpff(const std::filesystem::path& path, const std::vector<Property>& props) {
  const auto pff = test::readStoreWithPypff(path);
  if (!pff.available) GTEST_SKIP() << "pypff is not installed";
  for (const auto& p : props) {
    const auto it = pff.values.find(tagId(p.tag));
    ASSERT_NE(it, pff.values.end()) << "libpff lacks " << tagText(p.tag);
    EXPECT_EQ(it->second.type, static_cast<uint16_t>(tagType(p.tag))) << tagText(p.tag);
    const Bytes expected = encodeValue(p.tag, p.value);
    // libpff hands out inline values as their 4-byte slot.
    const size_t fixed = fixedSize(tagType(p.tag));
    if (fixed != 0 && fixed < 4) continue;
    EXPECT_EQ(it->second.size, expected.size()) << tagText(p.tag);
    EXPECT_EQ(it->second.checksum, test::adler32(expected)) << tagText(p.tag);
  }
}

std::vector<Property> everyType() {
  return {
      {makeTag(0x6601, PropType::Int16), int32_t{-2}},
      {makeTag(0x6602, PropType::Int32), int32_t{-123456789}},
      {makeTag(0x6603, PropType::Float), 1.5},
      {makeTag(0x6604, PropType::Double), 3.141592653589793},
      {makeTag(0x6605, PropType::Currency), int64_t{-5000000000}},
      {makeTag(0x6606, PropType::AppTime), 45000.25},
      {makeTag(0x6607, PropType::ErrorCode), int32_t{static_cast<int32_t>(0x8004010F)}},
      {makeTag(0x6608, PropType::Boolean), int32_t{1}},
      {makeTag(0x6609, PropType::Object), ObjectRef{0x2A5, 1234}},
      {makeTag(0x660A, PropType::Int64), int64_t{0x123456789ABCDEF0}},
      {makeTag(0x660B, PropType::String8), std::string("plain text")},
      {makeTag(0x660C, PropType::Unicode), std::string("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80")},
      {makeTag(0x660D, PropType::Time), uint64_t{0x01D9A0B0C0D0E0F0}},
      {makeTag(0x660E, PropType::Guid), Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {makeTag(0x660F, PropType::Binary), Bytes{0, 1, 2, 0xFF}},
      {makeTag(0x6610, PropType::MvInt32), std::vector<int32_t>{1, -1, 7}},
      {makeTag(0x6611, PropType::MvUnicode), std::vector<std::string>{"one", "", "dr\xC3\xA9i"}},
      {makeTag(0x6612, PropType::MvBinary), std::vector<Bytes>{{1}, {}, {2, 3}}},
      {makeTag(0x6613, PropType::Boolean), int32_t{0}},
      {makeTag(0x6614, PropType::Unicode), std::string()},
  };
}

TEST(PropertyContext, EveryTypeRoundTripsThroughBothReaders) {
  test::TempDir dir;
  const auto path = dir.file("types.pst");
  const auto props = everyType();
  writeStore(path, props);
  expectSameProperties(props, readStore(path));
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  expectSameVerdictFromLibpff(path, props);
}

TEST(PropertyContext, UnicodeIsUtf16LittleEndianWithoutTerminatorOnDisk) {
  test::TempDir dir;
  const auto path = dir.file("utf16.pst");
  // "é€😀": a two-byte, a three-byte and a four-byte UTF-8 sequence.
  const std::vector<Property> props = {{makeTag(0x3001, PropType::Unicode), std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")}};
  writeStore(path, props);
  const auto pff = test::readStoreWithPypff(path);
  if (!pff.available) GTEST_SKIP() << "pypff is not installed";
  EXPECT_EQ(pff.values.at(0x3001).hex, "e900ac203dd800de");
}

TEST(PropertyContext, ValuesAroundTheHeapItemAndBlockLimits) {
  test::TempDir dir;
  const auto path = dir.file("sizes.pst");
  const size_t sizes[] = {0, 1, 1024, 1025, 8176, 8177, 1021 * 8176, 1021 * 8176 + 1};
  std::vector<Property> props;
  uint16_t id = 0x6700;
  for (size_t n : sizes) props.push_back({makeTag(id++, PropType::Binary), filled(n, static_cast<int>(n % 97))});
  writeStore(path, props);
  size_t subnodes = 0;
  expectSameProperties(props, readStore(path, &subnodes));
  EXPECT_EQ(subnodes, 5u) << "values over 1,024 bytes belong in subnodes, the rest in the heap";
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  expectSameVerdictFromLibpff(path, props);
}

TEST(PropertyContext, OneHeapBlockAsOutlookWritesAndMoreWhenTheRecordsNeedThem) {
  test::TempDir dir;
  // Thirty values of 1,000 bytes: the largest go to subnodes until the heap is one block.
  std::vector<Property> few;
  for (uint16_t i = 0; i < 30; ++i) few.push_back({makeTag(0x4000 + i, PropType::Binary), filled(1000, i)});
  writeStore(dir.file("one.pst"), few);
  {
    ndb::NdbReader r(dir.file("one.pst"));
    EXPECT_EQ(r.readDataBlocks(r.findNode(kStore)->data).size(), 1u);
    EXPECT_EQ(r.readSubnodes(r.findNode(kStore)->subnodes).size(), 23u);  // 7 stay: 7,000 bytes
    expectSameProperties(few, readStore(dir.file("one.pst")));
    expectSameVerdictFromLibpff(dir.file("one.pst"), few);
  }
  // More records than one BTH leaf holds cannot share one block anyway: 1,200 values of 1,000
  // bytes stay in a heap of 150 blocks, with bitmap pages at 8 and 136.
  const auto path = dir.file("blocks.pst");
  std::vector<Property> props;
  for (uint16_t i = 0; i < 1200; ++i) props.push_back({makeTag(0x4000 + i, PropType::Binary), filled(1000, i)});
  writeStore(path, props);
  ndb::NdbReader r(path);
  EXPECT_GT(r.readDataBlocks(r.findNode(kStore)->data).size(), 136u);
  EXPECT_TRUE(r.readSubnodes(r.findNode(kStore)->subnodes).empty());
  expectSameProperties(props, readStore(path));
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  // (libpff fails on a property context of this many records, which Outlook never writes.)
}

TEST(PropertyContext, RefusesWhatWouldCorruptTheContext) {
  test::TempDir dir;
  ndb::NdbWriter w(dir.file("bad.pst"));
  SubnodeBuilder subs;
  const std::vector<Property> duplicate = {{makeTag(0x3001, PropType::Unicode), std::string("a")},
                                           {makeTag(0x3001, PropType::String8), std::string("b")}};
  EXPECT_THROW(writePropertyContext(w, duplicate, subs), Error);
  const std::vector<Property> wrongKind = {{makeTag(0x0E07, PropType::Int32), std::string("17")}};
  EXPECT_THROW(writePropertyContext(w, wrongKind, subs), Error);
  const std::vector<Property> unknownType = {{0x30010099, int32_t{1}}};
  EXPECT_THROW(writePropertyContext(w, unknownType, subs), Error);
}

}  // namespace
}  // namespace pst::ltp
