// The verifier against structures Outlook never writes, each seeded into an otherwise sound file.
#include <gtest/gtest.h>

#include <algorithm>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/header.h"
#include "pst/ndb/le.h"
#include "pst/ndb/ndb_writer.h"
#include "test_support.h"

namespace pst::messaging {
namespace {

// A PC whose values all stay in its heap, however large: what our writer no longer does.
Bid writeHeapOnlyPc(ndb::NdbWriter& writer, std::vector<Property> props) {
  std::sort(props.begin(), props.end(), [](const Property& a, const Property& b) { return tagId(a.tag) < tagId(b.tag); });
  ltp::HeapWriter heap(ltp::kClientPc);
  const ltp::Hid header = heap.allocate(8);
  heap.setUserRoot(header);
  Bytes records(props.size() * 8);
  for (size_t i = 0; i < props.size(); ++i) {
    const Bytes value = ltp::encodeValue(props[i].tag, props[i].value);
    uint32_t hnid = 0;
    if (const size_t fixed = ltp::fixedSize(tagType(props[i].tag)); fixed != 0 && fixed <= 4) {
      for (size_t k = 0; k < value.size(); ++k) hnid |= uint32_t{value[k]} << (8 * k);
    } else if (!value.empty()) {
      hnid = heap.add(value);
    }
    ndb::le::put<uint16_t>(records.data() + 8 * i, tagId(props[i].tag));
    ndb::le::put<uint16_t>(records.data() + 8 * i + 2, static_cast<uint16_t>(tagType(props[i].tag)));
    ndb::le::put<uint32_t>(records.data() + 8 * i + 4, hnid);
  }
  ltp::writeBth(heap, header, {2, 6}, records);
  return heap.write(writer);
}

Bid writeTable(ndb::NdbWriter& writer, const ltp::TableContextBuilder& table, Bid& subnodes) {
  ltp::SubnodeBuilder sb;
  const Bid data = table.write(writer, sb);
  subnodes = sb.write(writer);
  return data;
}

std::string findingsText(const std::filesystem::path& path, verify::Finding::Severity severity) {
  std::string out;
  for (const auto& f : verify::verifyFile(path).items)
    if (f.severity == severity) out += f.where + ": " + f.message + "\n";
  return out;
}

constexpr Nid kFolder = 0x8022;

void lowerCounter(const std::filesystem::path& path, NidType type, uint32_t value) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  std::vector<uint8_t> bytes(ndb::Header::kUnicodeSize);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ndb::Header header = ndb::Header::parse(bytes);
  header.rgnid[static_cast<size_t>(type)] = value;
  header.write(bytes);
  file.seekp(0);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(OutlookShape, WhatOutlookCannotUseIsAnError) {
  test::TempDir dir;
  const auto path = dir.file("errors.pst");
  {
    ndb::NdbWriter w(path);
    // 1. An empty string cell marked present with HNID 0, in a contents table.
    ltp::TableContextBuilder contents({0x0037001F, 0x00710102});
    contents.keepEmptyCells();
    contents.addRow(0x200024, std::vector<Property>{{0x0037001F, std::string()}, {0x00710102, Bytes(22, 1)}});
    Bid sub = 0;
    const Bid table = writeTable(w, contents, sub);
    w.addNode(0x802E, table, sub, 0);
    // 2. A subnode id above its counter (the header is lowered below it afterwards).
    const Bid attachment = w.writeData(Bytes(8, 0));
    w.addNode(0x200044, w.writeData(Bytes(8, 0)),
              w.writeSubnodeTree({{makeNid(NidType::Attachment, 0x999), attachment, 0}}), kFolder);
    // 3. A message id of 0x80000000 or more.
    w.addNode(makeNid(NidType::SearchUpdateQueue, 1u << 26), w.writeData(Bytes(8, 0)), 0, 0);
    w.finish();
  }
  lowerCounter(path, NidType::Attachment, 0x998);
  const std::string errors = findingsText(path, verify::Finding::Severity::Error);
  EXPECT_NE(errors.find("node 0x802E: cell 0x0037001F is present with HNID 0"), std::string::npos) << errors;
  EXPECT_NE(errors.find("is 0x80000000 or above"), std::string::npos) << errors;
  EXPECT_NE(errors.find("subnode 0x13325: id 0x13325 lies above its type's counter rgnid[0x5] = 0x998"), std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("0x00710102"), std::string::npos) << errors;
}
TEST(OutlookShape, WhatOutlookNeverWritesIsAWarning) {
  test::TempDir dir;
  const auto path = dir.file("warnings.pst");
  {
    ndb::NdbWriter w(path);
    ltp::SubnodeBuilder subnodes;
    // 4. A recipient table with PR_ROWID, a row id 0 and none of Outlook's own columns.
    ltp::TableContextBuilder recipients({0x3001001F, 0x30000003});
    recipients.addRow(0, std::vector<Property>{{0x3001001F, std::string("Rita")}, {0x30000003, int32_t{0}}});
    Bid tableSub = 0;
    const Bid table = writeTable(w, recipients, tableSub);
    subnodes.add(0x692, table, tableSub);
    // 5. and 7. An inline picture flagged as an ordinary attachment, with an upper-case short
    // name, the data length as its size and no encoding.
    ltp::SubnodeBuilder none;
    const Bid attachment = ltp::writePropertyContext(
        w,
        std::vector<Property>{{0x37050003, int32_t{1}}, {0x3704001F, std::string("IMAGE001.PNG")},
                              {0x37010102, Bytes(5, 1)}, {0x0E200003, int32_t{5}}, {0x3712001F, std::string("id@x")},
                              {0x7FFE000B, int32_t{1}}, {0x37140003, int32_t{1}}},
        none);
    subnodes.add(makeNid(NidType::Attachment, 0x401), attachment, none.write(w));
    // 6. and 8. A message keeping 1,500 and eight 1,000-byte values in a heap of two blocks, with
    // the properties Outlook leaves out and without those it always writes.
    std::vector<Property> props = {{0x001A001F, std::string("IPM.Note")}, {0x0E070003, int32_t{1}},
                                   {0x0E170003, int32_t{0}},              {0x003D001F, std::string()},
                                   {0x0E03001F, std::string()},           {0x0E1D001F, std::string("x")},
                                   {0x10160003, int32_t{1}},              {0x10130102, Bytes(1500, 2)}};
    for (uint16_t i = 0; i < 8; ++i) props.push_back({makeTag(0x6700 + i, PropType::Binary), Bytes(1000, 3)});
    w.addNode(0x200024, writeHeapOnlyPc(w, props), subnodes.write(w), kFolder);
    // 8. A contents row without ConversationIndex.
    ltp::TableContextBuilder contents({0x0037001F, 0x00710102});
    contents.addRow(0x200024, std::vector<Property>{{0x0037001F, std::string("s")}});
    Bid sub = 0;
    const Bid rows = writeTable(w, contents, sub);
    w.addNode(0x802E, rows, sub, 0);
    w.finish();
  }
  const std::string warnings = findingsText(path, verify::Finding::Severity::Warning);
  for (const char* expected :
       {"subnode 0x692: recipient table has a PR_ROWID", "subnode 0x692: recipient row id 0",
        "recipient row 0x0 lacks RecipientOrder", "inline picture lacks AttachFlags 4",
        "AttachFilename \"IMAGE001.PNG\" has upper-case letters", "AttachSize is 5; Outlook stores the object's size, 50",
        "attachment has no AttachEncoding", "heap spans 2 blocks", "value 0x10130102 of 1500 bytes is in the heap",
        "no MessageLocaleId", "no IconIndex", "lacks MessageToMe", "holds MessageStatus", "an empty SubjectPrefix",
        "an empty DisplayCc", "NormalizedSubject", "NativeBody", "contents row of message 0x200024 lacks ConversationIndex"})
    EXPECT_NE(warnings.find(expected), std::string::npos) << expected << "\n" << warnings;
}

}  // namespace
}  // namespace pst::messaging
