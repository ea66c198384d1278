// The store's building blocks: the name-to-id map against Outlook's, the row spool, UTF-16
// conversion and borrowed property values.
#include <gtest/gtest.h>

#include <map>

#include "pst/ltp/ndb_node_source.h"
#include "pst/ltp/pc_reader.h"
#include "pst/messaging/borrowed_properties.h"
#include "pst/messaging/named_property_map.h"
#include "pst/messaging/row_positions.h"
#include "pst/messaging/row_spool.h"
#include "pst/messaging/utf16.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/le.h"
#include "test_support.h"

namespace pst::messaging {
namespace {

const Guid kCommon = parseGuid("00062008-0000-0000-c000-000000000046");
const Guid kPublicStrings = parseGuid("00020329-0000-0000-c000-000000000046");
const Guid kInternetHeaders = parseGuid("00020386-0000-0000-c000-000000000046");

std::map<PropTag, PropValue> readPc(const std::filesystem::path& file, Nid nid) {
  ndb::NdbReader reader(file);
  const auto* node = reader.findNode(nid);
  if (!node) throw Error("no node");
  ltp::Problems problems;
  std::map<PropTag, PropValue> out;
  for (auto& p : ltp::readPropertyContext(ltp::nodeSource(reader, node->data, node->subnodes), problems))
    out[p.tag] = p.value;
  return out;
}

TEST(NamedPropertyMap, NewStoreMapIsOutlooksByteForByte) {
  NamedPropertyMap map;
  std::map<PropTag, PropValue> ours;
  for (auto& p : map.properties()) ours[p.tag] = p.value;
  auto outlook = readPc(test::referencePst("Empty.pst"), 0x61);
  // Outlook leaves stray bytes in the padding after each name; ours are zero.
  Bytes& strings = std::get<Bytes>(outlook.at(0x00040102));
  for (size_t at = 0; at + 4 <= strings.size();) {
    const size_t end = at + 4 + ndb::le::get<uint32_t>(strings.data() + at);
    const size_t padded = (end + 3) & ~size_t{3};
    for (size_t i = end; i < padded && i < strings.size(); ++i) strings[i] = 0;
    at = padded;
  }
  ASSERT_EQ(ours.size(), outlook.size());
  for (const auto& [tag, value] : outlook) {
    ASSERT_TRUE(ours.count(tag)) << std::hex << tag;
    EXPECT_TRUE(test::sameValue(ours[tag], value)) << "property 0x" << std::hex << tag << " differs";
  }
}

TEST(NamedPropertyMap, IdsAreStableAndFollowThePresets) {
  NamedPropertyMap map;
  EXPECT_EQ(map.idOf({kCommon, uint32_t{0x8510}}), 0x8010);
  EXPECT_EQ(map.idOf({kCommon, uint32_t{0x8552}}), 0x8022);
  EXPECT_EQ(map.idOf({kPublicStrings, std::string("Keywords")}), 0x8013);
  const uint16_t lid = map.idOf({kCommon, uint32_t{0x8599}});
  const uint16_t name = map.idOf({kInternetHeaders, std::string("x-vantorel")});
  // A LID and a name with the same set never share an id; neither does the same LID in two sets.
  const uint16_t sameNumberOtherSet = map.idOf({kInternetHeaders, uint32_t{0x8599}});
  EXPECT_EQ(lid, 0x8023);
  EXPECT_EQ(name, 0x8024);
  EXPECT_EQ(sameNumberOtherSet, 0x8025);
  EXPECT_EQ(map.idOf({kCommon, uint32_t{0x8599}}), lid);
  EXPECT_EQ(map.idOf({kInternetHeaders, std::string("x-vantorel")}), name);
  EXPECT_NE(map.idOf({kInternetHeaders, std::string("X-Vantorel")}), name);  // names are case-sensitive
}

TEST(NamedPropertyMap, NewNameLandsInStreamsAndItsBucket) {
  NamedPropertyMap map;
  std::map<PropTag, Bytes> before;
  for (auto& p : map.properties())
    if (auto* b = std::get_if<Bytes>(&p.value)) before[p.tag] = *b;
  const Guid fresh = parseGuid("12345678-9abc-def0-1122-334455667788");
  const uint16_t id = map.idOf({fresh, std::string("Zürich")});
  std::map<PropTag, Bytes> after;
  for (auto& p : map.properties())
    if (auto* b = std::get_if<Bytes>(&p.value)) after[p.tag] = *b;

  const Bytes& guids = after[0x00020102];
  ASSERT_EQ(guids.size(), before[0x00020102].size() + 16);
  EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), guids.end() - 16));
  const uint16_t guidIndex = static_cast<uint16_t>(guids.size() / 16 + 2);

  const Bytes& strings = after[0x00040102];
  const size_t offset = before[0x00040102].size();
  const Bytes utf16 = toUtf16("Zürich");
  ASSERT_EQ(strings.size(), offset + 4 + ((utf16.size() + 3) & ~size_t{3}));
  EXPECT_EQ(strings[offset], utf16.size());
  EXPECT_TRUE(std::equal(utf16.begin(), utf16.end(), strings.begin() + offset + 4));

  const Bytes& entries = after[0x00030102];
  ASSERT_EQ(entries.size(), before[0x00030102].size() + 8);
  const uint8_t* e = entries.data() + entries.size() - 8;
  EXPECT_EQ(ndb::le::get<uint32_t>(e), offset);
  EXPECT_EQ(ndb::le::get<uint16_t>(e + 4), (guidIndex << 1) | 1);
  EXPECT_EQ(ndb::le::get<uint16_t>(e + 6), id - 0x8000);

  const uint32_t hash = ndb::crc32(utf16);
  const PropTag bucket = makeTag(static_cast<uint16_t>(0x1000 + (hash ^ ((guidIndex << 1) | 1)) % 251), PropType::Binary);
  const Bytes& b = after[bucket];
  ASSERT_GE(b.size(), 8u);
  const uint8_t* last = b.data() + b.size() - 8;
  EXPECT_EQ(ndb::le::get<uint32_t>(last), hash);
  EXPECT_EQ(ndb::le::get<uint16_t>(last + 6), id - 0x8000);
}

TEST(RowSpool, GivesBackEveryKindOfValueInAnyOrder) {
  test::TempDir dir;
  RowSpool spool(dir.file(""));
#ifndef _WIN32
  // The spool has no name in the folder, so nothing can be left behind. (Windows keeps the
  // name until the file closes, however the program ends.)
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("")));
#endif
  const std::vector<Property> a = {{0x0037001F, std::string("Grüße \xF0\x9F\x93\xA7")},
                                   {0x0E080003, int32_t{-7}},
                                   {0x00140014, int64_t{-1234567890123}},
                                   {0x0E060040, uint64_t{0x01DB7E3B23A54963}},
                                   {0x7D000005, 2.5},
                                   {0x7D010102, Bytes{0, 1, 2, 255}},
                                   {0x7D020048, Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
                                   {0x7D031003, std::vector<int32_t>{1, -2, 3}},
                                   {0x7D04101F, std::vector<std::string>{"x", "", "yz"}},
                                   {0x7D051102, std::vector<Bytes>{{}, {9}}},
                                   {0x3701000D, ObjectRef{0x200044, 3450}}};
  const std::vector<Property> b = {{0x0037001F, std::string(100000, 'q')}};
  const uint64_t at = spool.put(a);
  EXPECT_EQ(spool.get(at).size(), a.size());
  const uint64_t bt = spool.put(b);  // writing after a read must append, not overwrite
  const auto backA = spool.get(at);
  const auto backB = spool.get(bt);
  ASSERT_EQ(backA.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(backA[i].tag, a[i].tag);
    EXPECT_TRUE(test::sameValue(backA[i].value, a[i].value)) << i;
  }
  EXPECT_TRUE(test::sameValue(backB.at(0).value, b[0].value));
}

TEST(RowSpool, TruncatedRecordIsAnErrorNotACrash) {
  std::vector<uint8_t> buf;
  appendProperty(buf, {0x7D010102, Bytes(50, 1)});
  for (size_t cut = 0; cut < buf.size(); ++cut) {
    const uint8_t* p = buf.data();
    EXPECT_THROW(readProperty(p, buf.data() + cut), Error) << cut;
  }
}

TEST(RowPositions, GivesBackEveryPositionInOrderAndRefusesAStepBack) {
  // Gaps from one byte to beyond 4 GiB, as rows of other folders come in between.
  std::vector<uint64_t> in = {0, 1, 128, 129, 16511, 16512, (uint64_t{1} << 32) + 5, (uint64_t{1} << 40)};
  RowPositions positions;
  for (uint64_t p : in) positions.add(p);
  std::vector<uint64_t> out;
  positions.forEach([&](uint64_t p) { out.push_back(p); });
  EXPECT_EQ(out, in);
  EXPECT_EQ(positions.size(), in.size());
  EXPECT_THROW(positions.add(in.back()), Error);
}

TEST(Utf16, EncodesAllPlanesAndReplacesBrokenSequences) {
  EXPECT_EQ(toUtf16("A"), (Bytes{'A', 0}));
  EXPECT_EQ(toUtf16("\xC3\xA4"), (Bytes{0xE4, 0}));             // ä
  EXPECT_EQ(toUtf16("\xE6\x97\xA5"), (Bytes{0xE5, 0x65}));       // 日
  EXPECT_EQ(toUtf16("\xF0\x9F\x93\xA7"), (Bytes{0x3D, 0xD8, 0xE7, 0xDC}));  // U+1F4E7
  const Bytes replacement = {0xFD, 0xFF};
  EXPECT_EQ(toUtf16("\xC3"), replacement);              // cut short
  EXPECT_EQ(toUtf16("\xC0\xAF"), (Bytes{0xFD, 0xFF, 0xFD, 0xFF}));  // overlong '/'
  EXPECT_EQ(toUtf16("\xED\xA0\x80").size(), 6u);        // an encoded surrogate is no character
  EXPECT_EQ(toUtf16("\xFF" "A"), (Bytes{0xFD, 0xFF, 'A', 0}));
}

TEST(BorrowedProperties, LargeValuesAreLentAndReturnedAndFirstValueWins) {
  std::vector<Property> source = {{0x37010102, Bytes(200000, 7)}, {0x3001001F, std::string("small")},
                                  {0x3001001F, std::string("second")}};
  {
    BorrowedProperties props;
    for (const auto& p : source) props.add(p);
    ASSERT_EQ(props.list().size(), 2u);
    EXPECT_EQ(std::get<Bytes>(props.find(0x3701)->value).size(), 200000u);
    EXPECT_TRUE(std::get<Bytes>(source[0].value).empty());  // lent, not copied
    EXPECT_EQ(std::get<std::string>(props.find(0x3001)->value), "small");
    EXPECT_THROW(props.set({0x37010102, Bytes{}}), Error);
    props.set({0x3001001F, std::string("replaced")});
    EXPECT_EQ(std::get<std::string>(source[1].value), "small");
  }
  EXPECT_EQ(std::get<Bytes>(source[0].value), Bytes(200000, 7));
}

}  // namespace
}  // namespace pst::messaging
