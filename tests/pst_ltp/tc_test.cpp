// Table contexts: layout against Outlook's own tables, round trips, large tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ltp_test_util.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/tc_reader.h"
#include "pst/ltp/value_codec.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

using test::filled;

constexpr Nid kTable = makeNid(NidType::HierarchyTable, 0x400);

// The columns of an Outlook-made table in the order Outlook added them (by their bits).
std::vector<PropTag> outlookColumnOrder(const TcLayout& layout) {
  std::vector<TcColumn> byBit = layout.columns;
  std::sort(byBit.begin(), byBit.end(), [](const TcColumn& a, const TcColumn& b) { return a.bit < b.bit; });
  std::vector<PropTag> tags;
  for (const auto& c : byBit) tags.push_back(c.tag);
  return tags;
}

TEST(TableLayout, MatchesTheTablesOutlookWrites) {
  ndb::NdbReader r(test::referencePst("Empty.pst"));
  // Folder hierarchy, contents and FAI contents templates: 4-, 8-, 2- and 1-byte cells mixed.
  for (Nid nid : {0x60Du, 0x60Eu, 0x60Fu, 0x12Fu}) {
    const auto source = test::sourceOf(r, nid);
    Problems problems;
    const TableReader outlook(source, problems);
    ASSERT_TRUE(problems.empty()) << problems.front();
    const TcLayout ours = layoutColumns(outlookColumnOrder(outlook.layout()));
    EXPECT_EQ(ours.groupEnds, outlook.layout().groupEnds) << nid;
    ASSERT_EQ(ours.columns.size(), outlook.layout().columns.size());
    for (size_t i = 0; i < ours.columns.size(); ++i) {
      const auto &a = ours.columns[i], &b = outlook.layout().columns[i];
      EXPECT_EQ(a.tag, b.tag);
      EXPECT_EQ(a.offset, b.offset) << tagText(a.tag) << " in table " << nid;
      EXPECT_EQ(a.size, b.size) << tagText(a.tag);
      EXPECT_EQ(a.bit, b.bit) << tagText(a.tag);
    }
  }
}

TEST(TableLayout, RefusesColumnsItCannotStore) {
  EXPECT_THROW(layoutColumns({makeTag(0x3001, PropType::Unicode), makeTag(0x3001, PropType::String8)}), Error);
  EXPECT_THROW(layoutColumns({0x30010099}), Error);
  const auto onlyKeys = layoutColumns({});
  ASSERT_EQ(onlyKeys.columns.size(), 2u);
  EXPECT_EQ(onlyKeys.rowSize(), 9u);
}

// Writes `table` as node kTable and reads every row back; checks that no layout fault is found.
std::map<uint32_t, std::map<PropTag, PropValue>> writeAndRead(const std::filesystem::path& path,
                                                              const TableContextBuilder& table,
                                                              size_t* matrixBlocks = nullptr) {
  {
    ndb::NdbWriter w(path);
    SubnodeBuilder subs;
    const Bid data = table.write(w, subs);
    w.addNode(kTable, data, subs.write(w), 0);
    w.finish();
  }
  ndb::NdbReader r(path);
  const auto source = test::sourceOf(r, kTable);
  Problems problems;
  const TableReader reader(source, problems);
  std::map<uint32_t, std::map<PropTag, PropValue>> rows;
  std::vector<uint32_t> order;
  reader.forEachRow([&](size_t, uint32_t id, const TableReader::Cells& cells) {
    order.push_back(id);
    for (size_t c = 0; c < cells.size(); ++c)
      if (cells[c]) rows[id][reader.layout().columns[c].tag] = *cells[c];
  });
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(reader.rowCount(), table.rowCount());
  EXPECT_TRUE(std::is_sorted(reader.indexedRowIds().begin(), reader.indexedRowIds().end()));
  const auto findings = verify::verifyFile(path);
  EXPECT_EQ(findings.errorCount(), 0u) << (findings.items.empty() ? "" : findings.items.front().message);
  if (matrixBlocks) {
    const auto* node = r.findNode(kTable);
    *matrixBlocks = 0;
    for (const auto& s : r.readSubnodes(node->subnodes)) *matrixBlocks = std::max(*matrixBlocks, r.readDataBlocks(s.data).size());
  }
  return rows;
}

TEST(TableContext, CellsOfEveryTypeRoundTrip) {
  const std::vector<Property> cells = {
      {makeTag(0x3001, PropType::Unicode), std::string("Inbox \xE2\x9C\x89")},
      {makeTag(0x3602, PropType::Int32), int32_t{42}},
      {makeTag(0x360A, PropType::Boolean), int32_t{1}},
      {makeTag(0x0E33, PropType::Int64), int64_t{-7}},
      {makeTag(0x3007, PropType::Time), uint64_t{0x01DA000011112222}},
      {makeTag(0x1000, PropType::Int16), int32_t{-300}},
      {makeTag(0x1001, PropType::Double), 2.5},
      {makeTag(0x1002, PropType::Float), 0.25},
      {makeTag(0x1003, PropType::Guid), Guid{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6}},
      {makeTag(0x1004, PropType::Binary), filled(5000, 1)},  // too big for the heap: a subnode
      {makeTag(0x1005, PropType::MvUnicode), std::vector<std::string>{"a", "b"}},
      {makeTag(0x1006, PropType::MvInt32), std::vector<int32_t>{3, 4}},
      {makeTag(0x1007, PropType::MvBinary), std::vector<Bytes>{{1, 2}, {}}},
      {makeTag(0x1008, PropType::String8), std::string("ascii")},
      {makeTag(0x1009, PropType::Object), ObjectRef{0x3F, 10}},
      {makeTag(0x100A, PropType::Currency), int64_t{12345}},
      {makeTag(0x100B, PropType::ErrorCode), int32_t{0x0004010F}},
      {makeTag(0x100C, PropType::AppTime), 1.0},
      {makeTag(0x100D, PropType::Unicode), std::string()},
  };
  std::vector<PropTag> columns;
  for (const auto& c : cells) columns.push_back(c.tag);
  TableContextBuilder table(columns);
  table.addRow(0x8022, cells);
  table.addRow(0x8042, {});  // only the row keys exist
  // A cell for a tag that is no column is ignored.
  const std::vector<Property> stray = {{makeTag(0x7777, PropType::Int32), int32_t{1}},
                                       {makeTag(0x3602, PropType::Int32), int32_t{9}}};
  table.addRow(0x2223, stray);

  test::TempDir dir;
  const auto rows = writeAndRead(dir.file("types.pst"), table);
  ASSERT_EQ(rows.size(), 3u);
  const PropTag empty = makeTag(0x100D, PropType::Unicode);
  for (const auto& c : cells) {
    if (c.tag == empty) continue;
    ASSERT_TRUE(rows.at(0x8022).count(c.tag)) << tagText(c.tag);
    EXPECT_TRUE(rows.at(0x8022).at(c.tag) == c.value) << tagText(c.tag);
  }
  // An empty value has no cell: HID 0 names no heap item.
  EXPECT_FALSE(rows.at(0x8022).count(empty));
  // Only LtpRowId and LtpRowVer exist in the empty row, and row versions are filled in.
  EXPECT_EQ(rows.at(0x8042).size(), 2u);
  EXPECT_EQ(std::get<int32_t>(rows.at(0x8042).at(kLtpRowId)), 0x8042);
  EXPECT_NE(std::get<int32_t>(rows.at(0x8042).at(kLtpRowVer)), 0);
  EXPECT_EQ(rows.at(0x2223).size(), 3u);
  EXPECT_EQ(std::get<int32_t>(rows.at(0x2223).at(makeTag(0x3602, PropType::Int32))), 9);
}

TEST(TableContext, UpdateRowReplacesOnlyTheGivenCells) {
  const PropTag name = makeTag(0x3001, PropType::Unicode), count = makeTag(0x3602, PropType::Int32),
                sub = makeTag(0x360A, PropType::Boolean);
  TableContextBuilder table({name, count, sub});
  const std::vector<Property> first = {{name, std::string("Inbox")}, {count, int32_t{0}}};
  table.addRow(0x8022, first);
  for (int32_t i = 1; i <= 1000; ++i) {
    const std::vector<Property> change = {{count, i}};
    table.updateRow(0x8022, change);
  }
  const std::vector<Property> rename = {{name, std::string("Posteingang")}, {sub, int32_t{1}}};
  table.updateRow(0x8022, rename);
  const std::vector<Property> nothing;
  EXPECT_THROW(table.updateRow(0x9999, nothing), Error);
  EXPECT_THROW(table.addRow(0x8022, nothing), Error);
  // A bad cell changes nothing, not even the other cells of the same call.
  const std::vector<Property> bad = {{count, int32_t{5}}, {name, int32_t{3}}};
  EXPECT_THROW(table.updateRow(0x8022, bad), Error);
  EXPECT_THROW(table.addRow(0x8042, bad), Error);
  EXPECT_EQ(table.rowCount(), 1u);

  test::TempDir dir;
  const auto rows = writeAndRead(dir.file("update.pst"), table);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(rows.at(0x8022).at(name)), "Posteingang");
  EXPECT_EQ(std::get<int32_t>(rows.at(0x8022).at(count)), 1000);
  EXPECT_EQ(std::get<int32_t>(rows.at(0x8022).at(sub)), 1);
}

TEST(TableContext, FiftyThousandRowsInFullBlocksWithARowIndex) {
  const PropTag subject = makeTag(0x0037, PropType::Unicode), size = makeTag(0x0E08, PropType::Int32),
                time = makeTag(0x0E06, PropType::Time), read = makeTag(0x0E69, PropType::Boolean);
  TableContextBuilder table({subject, size, time, read});
  // Row ids out of key order, so the matrix (insertion order) and the index (id order) differ.
  std::vector<uint32_t> ids(50000);
  for (uint32_t i = 0; i < ids.size(); ++i) ids[i] = makeNid(NidType::NormalMessage, 0x10000 + i);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(5));
  for (uint32_t i = 0; i < ids.size(); ++i) {
    const std::vector<Property> cells = {{subject, "message " + std::to_string(ids[i])},
                                         {size, static_cast<int32_t>(i)},
                                         {time, uint64_t{i} * 10000000}};
    table.addRow(ids[i], cells);
  }
  const std::vector<Property> markRead = {{read, int32_t{1}}};
  for (uint32_t i = 0; i < ids.size(); i += 7) table.updateRow(ids[i], markRead);

  test::TempDir dir;
  size_t blocks = 0;
  const auto rows = writeAndRead(dir.file("big.pst"), table, &blocks);
  ASSERT_EQ(rows.size(), ids.size());
  EXPECT_GT(blocks, 1u);
  for (uint32_t i = 0; i < ids.size(); i += 997) {
    const auto& row = rows.at(ids[i]);
    EXPECT_EQ(std::get<std::string>(row.at(subject)), "message " + std::to_string(ids[i]));
    EXPECT_EQ(std::get<int32_t>(row.at(size)), static_cast<int32_t>(i));
    EXPECT_EQ(row.count(read), i % 7 == 0 ? 1u : 0u);
  }
}

TEST(TableContext, EmptyTableHasNoRowsAndAnEmptyIndex) {
  TableContextBuilder table({makeTag(0x3001, PropType::Unicode)});
  test::TempDir dir;
  EXPECT_TRUE(writeAndRead(dir.file("empty.pst"), table).empty());
}

TEST(TableContext, RowsNeverStraddleBlocks) {
  // 3,580 bytes is the largest matrix kept in the heap; one more row moves it to a subnode whose
  // blocks hold whole rows: 8,176 / 27 = 302 rows, the last 22 bytes of each block left empty.
  const PropTag a = makeTag(0x1000, PropType::Int64), b = makeTag(0x1001, PropType::Int64);
  TableContextBuilder table({a, b, makeTag(0x1002, PropType::Int16)});
  for (uint32_t i = 0; i < 700; ++i) {
    const std::vector<Property> cells = {{a, int64_t{i}}, {b, -int64_t{i}}};
    table.addRow(i * 32 + 4, cells);
  }
  test::TempDir dir;
  size_t blocks = 0;
  const auto rows = writeAndRead(dir.file("straddle.pst"), table, &blocks);
  EXPECT_EQ(blocks, 3u);
  EXPECT_EQ(std::get<int64_t>(rows.at(699 * 32 + 4).at(b)), -699);
}

}  // namespace
}  // namespace pst::ltp
