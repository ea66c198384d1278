// Tables written as their rows arrive: heaps of hundreds of blocks go to the file block by block
// and must read back as if they had been built whole.
#include <gtest/gtest.h>

#include "folder_store.h"
#include "ltp_test_util.h"
#include "pst/ltp/table_writer.h"
#include "pst/ltp/tc_reader.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/data_tree_block.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

constexpr Nid kTable = makeNid(NidType::ContentsTable, 0x400);
const PropTag kSubject = makeTag(0x0037, PropType::Unicode);
const PropTag kBlob = makeTag(0x1004, PropType::Binary);
const PropTag kSize = makeTag(0x0E08, PropType::Int32);
constexpr uint32_t kRows = 2000;

uint32_t rowId(uint32_t i) { return makeNid(NidType::NormalMessage, 0x10000 + i); }

// Values of every size from empty to larger than a heap item, so that blocks fill unevenly.
std::vector<Property> cellsOf(uint32_t i) {
  std::vector<Property> cells = {{kSubject, std::string((i * 37) % 1500, static_cast<char>('a' + i % 26))},
                                 {kSize, static_cast<int32_t>(i)}};
  if (i % 3 != 0) cells.push_back({kBlob, test::filled(i % 50 == 1 ? 5000 : (i * 7) % 900, static_cast<int>(i))});
  return cells;
}

std::vector<Bid> treeBids(const ndb::NdbReader& r, Bid root) {
  if (!ndb::isInternalBid(root)) return {root};
  const auto tree = ndb::DataTreeBlock::parse(r.readBlock(root), r.format());
  EXPECT_EQ(tree.level, 1);
  return tree.bids;
}

TEST(TableWriter, AHeapOfHundredsOfBlocksGoesOutEarlyAndReadsBackIdentically) {
  test::TempDir dir;
  const auto path = dir.file("streamed.pst");
  {
    ndb::NdbWriter w(path);
    SubnodeBuilder subs;
    TableWriter table({kSubject, kSize, kBlob}, kRows, w, subs);
    for (uint32_t i = 0; i < kRows; ++i) table.addRow(rowId(i), cellsOf(i));
    const Bid data = table.finish();
    w.addNode(kTable, data, subs.write(w), 0);
    w.finish();
  }
  const auto findings = verify::verifyFile(path);
  EXPECT_EQ(findings.errorCount(), 0u) << (findings.items.empty() ? "" : findings.items.front().message);

  ndb::NdbReader r(path);
  const auto* node = r.findNode(kTable);
  ASSERT_NE(node, nullptr);
  // Past the third fill-level bitmap block (8, 136, 264), each of which waits for its 128 blocks.
  const auto heapBids = treeBids(r, node->data);
  EXPECT_GT(heapBids.size(), 300u);
  // Heap blocks were written while rows still came: before the last row-matrix block.
  Bid lastMatrixBlock = 0;
  for (const auto& s : r.readSubnodes(node->subnodes))
    if (r.readData(s.data).size() > 5000) lastMatrixBlock = std::max(lastMatrixBlock, treeBids(r, s.data).back());
  EXPECT_LT(heapBids[1], lastMatrixBlock);

  Problems problems;
  const auto source = test::sourceOf(r, kTable);
  const TableReader reader(source, problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  ASSERT_EQ(reader.rowCount(), kRows);
  uint32_t seen = 0;
  reader.forEachRow([&](size_t index, uint32_t id, const TableReader::Cells& cells) {
    ASSERT_EQ(id, rowId(static_cast<uint32_t>(index)));
    std::map<PropTag, PropValue> got;
    for (size_t c = 0; c < cells.size(); ++c)
      if (cells[c]) got[reader.layout().columns[c].tag] = *cells[c];
    for (const auto& cell : cellsOf(static_cast<uint32_t>(index))) {
      // An empty value is left out of its row, as Outlook leaves it.
      const auto* text = std::get_if<std::string>(&cell.value);
      if (text && text->empty()) {
        EXPECT_FALSE(got.count(cell.tag)) << tagText(cell.tag) << " of row " << index;
        continue;
      }
      ASSERT_TRUE(got.count(cell.tag)) << tagText(cell.tag) << " of row " << index;
      EXPECT_TRUE(got.at(cell.tag) == cell.value) << tagText(cell.tag) << " of row " << index;
    }
    EXPECT_EQ(got.count(kBlob), index % 3 != 0 ? 1u : 0u);
    ++seen;
  });
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(seen, kRows);
}

TEST(TableWriter, RefusesARowCountOtherThanTheOneAnnounced) {
  test::TempDir dir;
  ndb::NdbWriter w(dir.file("count.pst"));
  SubnodeBuilder subs;
  TableWriter fewer({kSubject}, 2, w, subs);
  fewer.addRow(rowId(0), {});
  EXPECT_THROW(fewer.finish(), Error);
  TableWriter more({kSubject}, 1, w, subs);
  more.addRow(rowId(0), {});
  EXPECT_THROW(more.addRow(rowId(1), {}), Error);
  TableWriter twice({kSubject}, 2, w, subs);
  twice.addRow(rowId(0), {});
  twice.addRow(rowId(0), {});
  EXPECT_THROW(twice.finish(), Error);
}

// libpff walks a root folder whose hierarchy table heap spans about 300 blocks.
TEST(TableWriter, LibpffReadsAHierarchyTableOfHundredsOfHeapBlocks) {
  test::TempDir dir;
  const auto path = dir.file("long-names.pst");
  constexpr size_t kFolders = 1500, kNameLength = 800;
  test::writeFolderStore(path, kFolders, kNameLength);
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  {
    ndb::NdbReader r(path);
    EXPECT_GT(treeBids(r, r.findNode(test::tableOf(test::kRootFolder, NidType::HierarchyTable))->data).size(), 264u);
  }
#ifdef _WIN32
  GTEST_SKIP() << "libpff reads it back in the Linux build";
#else
  const std::string cmd = "/usr/bin/python3 " VANTOREL_LTP_TEST_DIR "/read_folders_with_pypff.py '" + path.string() + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  std::vector<std::string> names;
  std::string line;
  for (int ch; pipe && (ch = std::fgetc(pipe.get())) != EOF;) {
    if (ch != '\n') {
      line.push_back(static_cast<char>(ch));
      continue;
    }
    names.push_back(line);
    line.clear();
  }
  const int rc = pclose(pipe.release());
  if (WIFEXITED(rc) && WEXITSTATUS(rc) == 3) GTEST_SKIP() << "pypff is not installed";
  ASSERT_EQ(rc, 0) << (names.empty() ? "" : names.front());
  ASSERT_EQ(names.size(), kFolders);
  for (size_t i = 0; i < kFolders; i += 97) EXPECT_EQ(names[i], test::folderName(i, kNameLength));
  EXPECT_EQ(names.back(), test::folderName(kFolders - 1, kNameLength));
#endif
}

}  // namespace
}  // namespace pst::ltp
