// Faults seeded into heaps, BTHs, PCs and TCs of good files: the verifier must name each one.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "folder_store.h"
#include "ltp_test_util.h"
#include "pst/ltp/hid.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/le.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

namespace le = ndb::le;

// Changes the decoded blocks of node `nid` (subnode `sub`, or the node itself when 0).
using Mutation = std::function<void(Nid nid, Nid sub, std::vector<Bytes>& blocks)>;

Bid copyTree(const ndb::NdbReader& r, ndb::NdbWriter& w, Bid data, Nid nid, Nid sub, const Mutation& mutate) {
  if (data == 0) return 0;
  auto blocks = r.readDataBlocks(data);
  mutate(nid, sub, blocks);
  std::vector<Bid> bids;
  uint64_t total = 0;
  for (const auto& b : blocks) bids.push_back(w.writeBlock(b)), total += b.size();
  return w.writeDataTree(bids, total);
}

// Rewrites `from` into `to` node by node, passing every node's and subnode's blocks to `mutate`.
void copyWith(const std::filesystem::path& from, const std::filesystem::path& to, const Mutation& mutate) {
  ndb::NdbReader r(from);
  ndb::NdbWriter w(to);
  for (const auto& n : r.nodes()) {
    std::vector<ndb::SubnodeEntry> subs;
    if (n.subnodes)
      for (const auto& s : r.readSubnodes(n.subnodes))
        subs.push_back({s.nid, copyTree(r, w, s.data, n.nid, s.nid, mutate), 0});
    w.addNode(n.nid, copyTree(r, w, n.data, n.nid, 0, mutate), w.writeSubnodeTree(subs), n.parent);
  }
  w.finish();
}

// Errors the verifier reports, as "where: message" lines.
std::string errorsOf(const std::filesystem::path& file) {
  std::string out;
  for (const auto& f : verify::verifyFile(file).items)
    if (f.severity == verify::Finding::Severity::Error) out += f.where + ": " + f.message + "\n";
  return out;
}

class Corruption : public ::testing::Test {
 protected:
  void SetUp() override {
    good_ = dir_.file("good.pst");
    ndb::NdbWriter w(good_);
    const std::vector<Property> props = {{0x0FF90102, Bytes(16, 7)},
                                         {0x3001001F, std::string("store")},
                                         {0x66000014, int64_t{5}},
                                         {0x66010003, int32_t{1}}};
    SubnodeBuilder subs;
    w.addNode(0x21, writePropertyContext(w, props, subs), 0, 0);
    // A table with its matrix in a subnode (three blocks) next to one kept in the heap.
    TableContextBuilder big({0x3001001F, 0x0E080003});
    TableContextBuilder small({0x3001001F});
    for (uint32_t i = 0; i < 1200; ++i) {
      const std::vector<Property> cells = {{0x3001001F, "row " + std::to_string(i)}, {0x0E080003, int32_t(i)}};
      big.addRow(makeNid(NidType::NormalMessage, 0x10000 + i), cells);
      if (i < 3) small.addRow(makeNid(NidType::NormalFolder, 0x400 + i), cells);
    }
    SubnodeBuilder bigSubs, smallSubs;
    const Bid bigData = big.write(w, bigSubs);
    w.addNode(kBig, bigData, bigSubs.write(w), 0);
    const Bid smallData = small.write(w, smallSubs);
    w.addNode(kSmall, smallData, smallSubs.write(w), 0);
    w.finish();
    ASSERT_EQ(errorsOf(good_), "");
  }

  // Copies the good file with `mutate` applied and returns the verifier's errors.
  std::string corrupt(const Mutation& mutate) {
    const auto bad = dir_.file("bad" + std::to_string(++copies_) + ".pst");
    copyWith(good_, bad, mutate);
    return errorsOf(bad);
  }
  // The same, limited to the first block of one node.
  std::string corruptNode(Nid target, const std::function<void(Bytes&)>& change) {
    return corrupt([&](Nid nid, Nid sub, std::vector<Bytes>& blocks) {
      if (nid == target && sub == 0) change(blocks.front());
    });
  }

  static constexpr Nid kBig = makeNid(NidType::ContentsTable, 0x400);
  static constexpr Nid kSmall = makeNid(NidType::HierarchyTable, 0x400);
  test::TempDir dir_;
  std::filesystem::path good_;
  int copies_ = 0;
};

// Offset in block 0 of the TCINFO, the heap's user root.
size_t tcinfoAt(const Bytes& block) {
  return le::u16(block.data() + le::u16(block.data()) + 4 + 2 * (hidItem(le::u32(block.data() + 4))));
}

TEST_F(Corruption, CopyingAloneChangesNothing) {
  EXPECT_EQ(corrupt([](Nid, Nid, std::vector<Bytes>&) {}), "");
}

TEST_F(Corruption, HeapSignaturesAndPageMaps) {
  EXPECT_NE(corruptNode(0x21, [](Bytes& b) { b[2] = 0xEB; }), "");                  // bSig
  EXPECT_NE(corruptNode(0x21, [](Bytes& b) { b[3] = 0x7C; }), "");                  // a PC claiming to be a TC
  EXPECT_NE(corruptNode(0x21, [](Bytes& b) { le::put<uint16_t>(b.data(), 0x1FFF); }), "");  // ibHnpm
  EXPECT_NE(corruptNode(0x21, [](Bytes& b) {
              // Two item offsets swapped in the page map.
              const size_t map = le::u16(b.data()) + 4;
              const uint16_t a = le::u16(b.data() + map + 2), c = le::u16(b.data() + map + 4);
              le::put<uint16_t>(b.data() + map + 2, c);
              le::put<uint16_t>(b.data() + map + 4, a);
            }),
            "");
}

TEST_F(Corruption, PropertyContextFaults) {
  // Our PC heaps end with the BTH leaf.
  auto leafOf = [](Bytes& b) {
    const size_t map = le::u16(b.data());
    return le::u16(b.data() + map + 4 + 2 * (le::u16(b.data() + map) - 1));
  };
  // BTH keys out of order: swap the first two records of the leaf.
  auto errors = corruptNode(0x21, [&](Bytes& b) {
    const size_t leaf = leafOf(b);
    for (size_t i = 0; i < 8; ++i) std::swap(b[leaf + i], b[leaf + 8 + i]);
  });
  EXPECT_NE(errors.find("out of order"), std::string::npos) << errors;
  // A value whose HID names no item.
  errors = corruptNode(0x21, [&](Bytes& b) {
    le::put<uint32_t>(b.data() + leafOf(b) + 4, makeHid(0, 40));
  });
  EXPECT_NE(errors.find("names no heap item"), std::string::npos) << errors;
  // A BTH header with another signature.
  errors = corruptNode(0x21, [](Bytes& b) { b[le::u16(b.data() + le::u16(b.data()) + 4)] = 0xB6; });
  EXPECT_NE(errors, "");
}

TEST_F(Corruption, TableColumnFaults) {
  // Columns out of tag order: swap the first two TCOLDESCs.
  auto errors = corruptNode(kSmall, [](Bytes& b) {
    const size_t t = tcinfoAt(b);
    for (size_t i = 0; i < 8; ++i) std::swap(b[t + 22 + i], b[t + 30 + i]);
  });
  EXPECT_NE(errors.find("out of tag order"), std::string::npos) << errors;
  // A 4-byte column moved into the 1-byte group.
  errors = corruptNode(kSmall, [](Bytes& b) {
    const size_t t = tcinfoAt(b);
    le::put<uint16_t>(b.data() + t + 22 + 4, le::u16(b.data() + t + 6));
  });
  EXPECT_NE(errors.find("outside its size group"), std::string::npos) << errors;
  // The bitmap end that does not fit the column count.
  errors = corruptNode(kSmall, [](Bytes& b) {
    const size_t t = tcinfoAt(b);
    le::put<uint16_t>(b.data() + t + 8, static_cast<uint16_t>(le::u16(b.data() + t + 8) + 1));
  });
  EXPECT_NE(errors, "");
}

TEST_F(Corruption, TableRowFaults) {
  // A cell-existence bit set for no column, in the heap-kept matrix: the item before the index leaf.
  auto lastItem = [](Bytes& b) {
    const size_t map = le::u16(b.data());
    const size_t count = le::u16(b.data() + map);
    return std::pair<size_t, size_t>(le::u16(b.data() + map + 4 + 2 * (count - 2)), le::u16(b.data() + map + 4 + 2 * (count - 1)));
  };
  auto errors = corruptNode(kSmall, [&](Bytes& b) {
    const auto [begin, end] = lastItem(b);
    const size_t rowSize = (end - begin) / 3;
    b[begin + rowSize - 1] |= 0x01;  // bit 7 of the bitmap; only bits 0-2 are columns
  });
  EXPECT_NE(errors.find("belongs to no column"), std::string::npos) << errors;
  // A missing cell that is not zero: clear the display name's bit, keep its value.
  errors = corruptNode(kSmall, [&](Bytes& b) {
    const auto [begin, end] = lastItem(b);
    const size_t rowSize = (end - begin) / 3;
    b[begin + rowSize - 1] &= static_cast<uint8_t>(~0x20);  // bit 2: the first caller column
  });
  EXPECT_NE(errors.find("is not zero"), std::string::npos) << errors;
  // A row whose id differs from the one the row index sends to it.
  errors = corruptNode(kSmall, [&](Bytes& b) {
    const auto [begin, end] = lastItem(b);
    le::put<uint32_t>(b.data() + begin, 0x12345);
  });
  EXPECT_NE(errors.find("another id"), std::string::npos) << errors;
}

TEST_F(Corruption, RowMatrixBlocksMustBeFull) {
  // Cut the first row-matrix block of the big table short by one row.
  const auto errors = corrupt([](Nid nid, Nid sub, std::vector<Bytes>& blocks) {
    if (nid == kBig && sub != 0 && blocks.size() > 1 && blocks[0][2] != kHeapSignature) blocks[0].resize(8176 - 64);
  });
  EXPECT_NE(errors.find("not 8,176"), std::string::npos) << errors;
}

TEST_F(Corruption, RowIndexThatMissesRows) {
  // Shrink the small table's row index leaf by one record (the item before the matrix).
  const auto errors = corruptNode(kSmall, [](Bytes& b) {
    const size_t map = le::u16(b.data());
    const size_t count = le::u16(b.data() + map);
    // Items: index header, TCINFO, three names, matrix, index leaf. Take 8 bytes off the leaf.
    const size_t last = map + 4 + 2 * count;
    le::put<uint16_t>(b.data() + last, static_cast<uint16_t>(le::u16(b.data() + last) - 8));
  });
  EXPECT_NE(errors.find("entries for"), std::string::npos) << errors;
}

TEST_F(Corruption, NodeThatShouldHoldAHeapButDoesNot) {
  const auto errors = corruptNode(kSmall, [](Bytes& b) { std::fill(b.begin(), b.end(), 0); });
  EXPECT_NE(errors.find(std::string("node ") + "0x800D"), std::string::npos) << errors;
}

TEST_F(Corruption, RandomDamageIsReportedNeverFatal) {
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    // Overwrite a few bytes of one node's blocks with random values.
    const std::string errors = corrupt([&](Nid, Nid, std::vector<Bytes>& blocks) {
      if (rng() % 3) return;
      for (int k = 0; k < 4; ++k) {
        Bytes& b = blocks[rng() % blocks.size()];
        if (!b.empty()) b[rng() % std::min<size_t>(b.size(), 600)] = static_cast<uint8_t>(rng());
      }
    });
    (void)errors;  // any verdict will do; reaching here without a crash or hang is the point
  }
}

}  // namespace
}  // namespace pst::ltp
