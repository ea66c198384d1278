// Writes node databases with our writer and reads them back with our reader.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <numeric>
#include <random>
#include <vector>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb/ndb_reader.h"
#include "pst/ndb/ndb_writer.h"
#include "temp_dir.h"

namespace pst::ndb {
namespace {

Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  std::mt19937 rng(seed);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

TEST(RoundTrip, NodeDataOfEverySizeClass) {
  test::TempDir dir;
  const auto path = dir.file("sizes.pst");
  const std::vector<size_t> sizes = {0, 1, 3580, 3581, 8176, 8177, 1021 * 8176, 1021 * 8176 + 1};
  std::vector<Nid> nids;
  {
    NdbWriter w(path);
    for (size_t i = 0; i < sizes.size(); ++i) {
      const Nid nid = w.allocateNid(NidType::NormalMessage);
      nids.push_back(nid);
      w.addNode(nid, w.writeData(pattern(sizes[i], static_cast<uint32_t>(i))), 0, makeNid(NidType::NormalFolder, 0x401));
    }
    w.finish();
  }
  NdbReader r(path);
  ASSERT_EQ(r.nodes().size(), sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    const NodeEntry* n = r.findNode(nids[i]);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->parent, makeNid(NidType::NormalFolder, 0x401));
    EXPECT_EQ(r.readData(n->data), pattern(sizes[i], static_cast<uint32_t>(i))) << sizes[i];
    const auto blocks = r.readDataBlocks(n->data);
    const size_t expect = (sizes[i] + 8175) / 8176;
    EXPECT_EQ(blocks.size(), expect);
    for (size_t b = 0; b + 1 < blocks.size(); ++b) EXPECT_EQ(blocks[b].size(), 8176u);
  }
  EXPECT_EQ(nidIndex(nids.front()), 0x10001u);
  // The XXBLOCK case needs an internal root whose children are internal too.
  EXPECT_TRUE(isInternalBid(r.findNode(nids.back())->data));
  EXPECT_EQ(r.header().rgnid[4], 0x10000u + sizes.size());
  EXPECT_EQ((r.fileSize() - kFirstAMap) % kRegionSize, 0u);
  EXPECT_EQ(r.fileSize(), r.header().ibFileEof);
}

TEST(RoundTrip, NodeIdsCountUpAndTheCountersCoverSubnodes) {
  test::TempDir dir;
  const auto path = dir.file("ids.pst");
  Nid single = 0;
  uint32_t range = 0;
  {
    NdbWriter w(path);
    range = w.reserveNids(NidType::NormalMessage, 5);
    single = w.allocateNid(NidType::NormalMessage);
    EXPECT_THROW(w.reserveNids(NidType::NormalMessage, NdbWriter::kNidIndexLimit), Error);
    // Subnode ids numbered by their node (an attachment 0x8025, a value 0x12341F) count too.
    const Bid sub = w.writeSubnodeTree({{makeNid(NidType::Attachment, 0x401), w.writeData(pattern(10, 1)), 0},
                                        {makeNid(NidType::Ltp, 0x91A2), w.writeData(pattern(10, 2)), 0}});
    w.addNode(makeNid(NidType::NormalMessage, range), w.writeData(pattern(10, 3)), sub,
              makeNid(NidType::NormalFolder, 0x401));
    w.finish();
  }
  EXPECT_EQ(range, 0x10001u);  // Outlook's first message is 0x200024
  EXPECT_EQ(single, makeNid(NidType::NormalMessage, 0x10006));
  NdbReader r(path);
  EXPECT_EQ(r.header().rgnid[4], 0x10006u);
  EXPECT_EQ(r.header().rgnid[5], 0x401u);
  EXPECT_EQ(r.header().rgnid[0x1F], 0x91A2u);
}

TEST(RoundTrip, RollbackLeavesTheFileAsIfNothingWasWritten) {
  test::TempDir dir;
  auto write = [&](const std::string& name, bool withRefused) {
    const auto path = dir.file(name);
    NdbWriter w(path);
    const Bid shared = w.writeData(pattern(100, 1));
    w.addNode(makeNid(NidType::HierarchyTable, 0x401), shared, 0, 0);
    if (withRefused) {
      const auto mark = w.mark();
      // Enough to complete several allocation map regions, and a reference to an earlier block.
      const Bid big = w.writeData(pattern(1'000'000, 2));
      w.addReference(shared);
      w.addNode(w.allocateNid(NidType::NormalMessage), big,
                w.writeSubnodeTree({{makeNid(NidType::Attachment, 0x999), w.writeData(pattern(10, 3)), 0}}), 0x8022);
      w.rollback(mark);
    }
    w.addNode(w.allocateNid(NidType::NormalMessage), w.writeData(pattern(5000, 4)), 0, 0x8022);
    w.finish();
    return path;
  };
  NdbReader plain(write("plain.pst", false)), rolled(write("rolled.pst", true));
  EXPECT_EQ(rolled.fileSize(), plain.fileSize());
  EXPECT_EQ(rolled.header().rgnid, plain.header().rgnid);
  EXPECT_EQ(rolled.header().cbAMapFree, plain.header().cbAMapFree);
  ASSERT_EQ(rolled.blocks().size(), plain.blocks().size());
  for (size_t i = 0; i < plain.blocks().size(); ++i) EXPECT_EQ(rolled.blocks()[i].cRef, plain.blocks()[i].cRef);
  ASSERT_EQ(rolled.nodes().size(), 2u);
  EXPECT_EQ(rolled.readData(rolled.nodes().back().data), pattern(5000, 4));
}

TEST(RoundTrip, BlockReferenceCountsAreExact) {
  test::TempDir dir;
  const auto path = dir.file("refs.pst");
  Bid shared = 0, big = 0, sub = 0, child = 0;
  {
    NdbWriter w(path);
    shared = w.writeData(pattern(100, 1));
    w.addNode(makeNid(NidType::HierarchyTable, 0x401), shared, 0, 0);
    w.addNode(makeNid(NidType::HierarchyTable, 0x402), shared, 0, 0);
    w.addReference(shared);  // as if a third table shared it, too
    big = w.writeData(pattern(20000, 2));
    child = w.writeData(pattern(10, 3));
    sub = w.writeSubnodeTree({{0x1F, child, 0}});
    w.addNode(makeNid(NidType::NormalMessage, 0x10001), big, sub, 0);
    w.finish();
  }
  NdbReader r(path);
  EXPECT_EQ(r.findBlock(shared)->cRef, 4);  // BBT entry + two nodes + one extra
  EXPECT_EQ(r.findBlock(big)->cRef, 2);
  EXPECT_EQ(r.findBlock(sub)->cRef, 2);
  EXPECT_EQ(r.findBlock(child)->cRef, 2);
  const auto xparts = r.readDataBlocks(big);
  ASSERT_EQ(xparts.size(), 3u);
  for (const auto& e : r.blocks()) {
    if (!isInternalBid(e.bid) && e.bid != shared && e.bid != child) {
      EXPECT_EQ(e.cRef, 2) << std::hex << e.bid;
    }
  }
}

TEST(RoundTrip, SubnodeTreesWithOneAndTwoLevels) {
  test::TempDir dir;
  const auto path = dir.file("sub.pst");
  const size_t counts[] = {1, 340, 341, 2000};
  std::vector<Bid> roots;
  {
    NdbWriter w(path);
    Nid nid = makeNid(NidType::NormalMessage, 0x10001);
    for (size_t count : counts) {
      std::vector<SubnodeEntry> entries;
      for (size_t i = count; i > 0; --i)  // reverse order: the writer sorts
        entries.push_back({makeNid(NidType::Ltp, static_cast<uint32_t>(i)), w.writeData(pattern(8, static_cast<uint32_t>(i))), 0});
      roots.push_back(w.writeSubnodeTree(entries));
      w.addNode(nid, 0, roots.back(), 0);
      nid += 32;
    }
    EXPECT_EQ(w.writeSubnodeTree({}), 0u);
    w.finish();
  }
  NdbReader r(path);
  for (size_t k = 0; k < std::size(counts); ++k) {
    const auto entries = r.readSubnodes(roots[k]);
    ASSERT_EQ(entries.size(), counts[k]);
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].nid, makeNid(NidType::Ltp, static_cast<uint32_t>(i + 1)));
      EXPECT_EQ(r.readData(entries[i].data), pattern(8, static_cast<uint32_t>(i + 1)));
    }
  }
}

TEST(RoundTrip, ManyNodesMakeDeepTrees) {
  test::TempDir dir;
  const auto path = dir.file("many.pst");
  constexpr uint32_t kNodes = 20000;
  {
    NdbWriter w(path);
    for (uint32_t i = 0; i < kNodes; ++i) {
      const Nid nid = w.allocateNid(NidType::NormalMessage);
      w.addNode(nid, w.writeData(pattern(40, i)), 0, 0);
    }
    w.finish();
  }
  NdbReader r(path);
  ASSERT_EQ(r.nodes().size(), kNodes);
  ASSERT_EQ(r.blocks().size(), kNodes);
  EXPECT_EQ(r.readData(r.nodes()[12345].data), pattern(40, 12345));
  EXPECT_GT(r.pages().size(), kNodes / 20 + kNodes / 15);
}

TEST(RoundTrip, StreamedDataTreeMatchesOneShotWrite) {
  test::TempDir dir;
  const auto path = dir.file("stream.pst");
  const Bytes data = pattern(100000, 9);
  Bid streamed = 0;
  {
    NdbWriter w(path);
    DataTreeWriter t(w);
    for (size_t off = 0; off < data.size(); off += 777)
      t.append({data.data() + off, std::min<size_t>(777, data.size() - off)});
    EXPECT_EQ(t.size(), data.size());
    streamed = t.finish();
    w.addNode(makeNid(NidType::NormalMessage, 0x10001), streamed, 0, 0);
    DataTreeWriter empty(w);
    EXPECT_EQ(empty.finish(), 0u);
    w.finish();
  }
  NdbReader r(path);
  EXPECT_EQ(r.readData(streamed), data);
}

TEST(Writer, NeverOverwritesAndRemovesUnfinishedFiles) {
  test::TempDir dir;
  const auto path = dir.file("exists.pst");
  { NdbWriter w(path); w.finish(); }
  const auto size = std::filesystem::file_size(path);
  EXPECT_THROW(NdbWriter{path}, Error);
  EXPECT_EQ(std::filesystem::file_size(path), size);
  const auto partial = dir.file("partial.pst");
  {
    NdbWriter w(partial);
    w.writeData(pattern(5000, 1));
  }
  EXPECT_FALSE(std::filesystem::exists(partial));
}

#ifndef _WIN32  // the full disk is a POSIX file size limit
TEST(Writer, FullDiskIsAnErrorAndLeavesNoFile) {
  test::TempDir dir;
  const auto path = dir.file("full.pst");
  // A file size limit stands in for a full disk: writes past it fail with EFBIG.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2u << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    NdbWriter w(path);
    for (int i = 0; i < 1000; ++i) w.addNode(w.allocateNid(NidType::NormalMessage), w.writeData(pattern(8000, i)), 0, 0);
    w.finish();
  } catch (const Error& e) {
    message = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(message.find("free disk space"), std::string::npos) << message;
  EXPECT_FALSE(std::filesystem::exists(path));
}
#endif

TEST(Writer, RejectsInconsistentCalls) {
  test::TempDir dir;
  NdbWriter w(dir.file("bad.pst"));
  EXPECT_THROW(w.writeBlock(pattern(8177, 1)), Error);
  EXPECT_THROW(w.addNode(0x21, 0x9999, 0, 0), Error);  // unknown block
  const Bid data = w.writeData(pattern(10, 1));
  EXPECT_THROW(w.addNode(0x21, data, data, 0), Error);  // a data block as subnode tree
  EXPECT_THROW(w.writeSubnodeTree({{0x1F, data, 0}, {0x1F, data, 0}}), Error);
  EXPECT_THROW(w.writeDataTree(std::vector<Bid>{data, data}, 11), Error);  // wrong total
  w.addNode(0x21, data, 0, 0);
  w.addNode(0x21, data, 0, 0);
  EXPECT_THROW(w.finish(), Error);  // the same node twice
}

}  // namespace
}  // namespace pst::ndb
