// The heap-on-node and BTH on their own, written to pages in memory and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "pst/ltp/bth_reader.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/utf16.h"
#include "pst/ndb/le.h"

namespace pst::ltp {
namespace {

TEST(Heap, ItemsNeverCrossBlocksAndReadBackIntact) {
  HeapWriter heap(kClientPc);
  std::mt19937 rng(7);
  std::vector<std::pair<Hid, Bytes>> items;
  for (int i = 0; i < 3000; ++i) {
    Bytes b(1 + rng() % kMaxHeapItem);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    items.emplace_back(heap.add(b), b);
  }
  EXPECT_EQ(items.front().first, 0x20u);
  EXPECT_GT(heap.blockCount(), 136u);
  const auto pages = heap.pages();
  for (const auto& p : pages) EXPECT_LE(p.size(), kHeapBlockSize);
  Problems problems;
  HeapReader reader(pages, problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  for (const auto& [hid, bytes] : items) {
    const auto got = reader.item(hid);
    ASSERT_TRUE(std::equal(got.begin(), got.end(), bytes.begin(), bytes.end())) << hid;
  }
}

TEST(Heap, FillLevelsDescribeEachBlock) {
  HeapWriter heap(kClientTc);
  // Two large items fill block 0, the 1,000-byte one opens block 1; pairs fill the next blocks.
  for (int i = 0; i < 2; ++i) heap.allocate(3580);
  heap.allocate(1000);
  for (int b = 0; b < 8; ++b) heap.allocate(3580), heap.allocate(3580);
  const auto pages = heap.pages();
  ASSERT_EQ(pages.size(), 9u);
  // Block 0: 12 + 7,160 bytes of items + a 10-byte map leave 994 free: level 7. Block 1 takes
  // the 1,000-byte item and two more, leaving 2 bytes: level 15. Block 8 carries its own level.
  EXPECT_EQ(pages[0][8], 0xF7);
  EXPECT_EQ(pages[0][9], 0x77);
  EXPECT_EQ(pages[8][2], 0x07);
  EXPECT_EQ(pages[8][3], 0x00);
  // Every block but the last is padded to a whole data block, as Outlook writes them.
  EXPECT_EQ(pages[7].size(), kHeapBlockSize);
  EXPECT_LT(pages[8].size(), kHeapBlockSize);
  EXPECT_EQ(fillLevel(5000), 0);
  EXPECT_EQ(fillLevel(3583), 1);
  EXPECT_EQ(fillLevel(7), 15);
  // A block declared emptier than it is is a fault the reader reports.
  auto bad = pages;
  bad[0][8] = 0;
  Problems problems;
  HeapReader reader(bad, problems);
  EXPECT_FALSE(problems.empty());
}

TEST(Heap, RefusesItemsTheFormatCannotHold) {
  HeapWriter heap(kClientPc);
  EXPECT_THROW(heap.allocate(0), Error);
  EXPECT_THROW(heap.allocate(kMaxHeapItem + 1), Error);
  Problems problems;
  Bytes notHeap(64, 0);
  EXPECT_THROW(HeapReader({notHeap}, problems), Error);
}

Bytes sortedRecords(size_t count, size_t keySize, size_t dataSize, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> keys(count);
  for (size_t i = 0; i < count; ++i) keys[i] = static_cast<uint32_t>(i * 3 + 1);
  std::shuffle(keys.begin(), keys.end(), rng);
  std::sort(keys.begin(), keys.end());
  Bytes out;
  for (uint32_t k : keys) {
    Bytes rec(keySize + dataSize);
    ndb::le::put<uint32_t>(rec.data(), k);
    if (keySize == 2) rec[1] = static_cast<uint8_t>(k >> 8), rec[0] = static_cast<uint8_t>(k);
    for (size_t d = 0; d < dataSize; ++d) rec[keySize + d] = static_cast<uint8_t>(k * 31 + d);
    out.insert(out.end(), rec.begin(), rec.end());
  }
  return out;
}

TEST(Bth, ThreeLevelsReadBackInKeyOrder) {
  HeapWriter heap(kClientBth);
  const Hid header = heap.allocate(8);
  heap.setUserRoot(header);
  // 99 records a leaf and 447 entries an index node: 50,000 records need two index levels.
  const Bytes records = sortedRecords(50000, 4, 32, 1);
  EXPECT_EQ(writeBth(heap, header, {4, 32}, records), 2);
  Problems problems;
  HeapReader reader(heap.pages(), problems);
  const auto bth = readBth(reader, reader.userRoot(), problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(bth.indexLevels, 2);
  EXPECT_EQ(bth.records, records);
}

TEST(Bth, SmallAndEmptyTrees) {
  for (size_t count : {0u, 1u, 447u, 448u}) {
    HeapWriter heap(kClientPc);
    const Hid header = heap.allocate(8);
    const Bytes records = sortedRecords(count, 2, 6, 2);
    writeBth(heap, header, {2, 6}, records);
    Problems problems;
    HeapReader reader(heap.pages(), problems);
    const auto bth = readBth(reader, header, problems);
    EXPECT_EQ(bth.records, records) << count;
    EXPECT_EQ(bth.indexLevels, count > 447 ? 1 : 0) << count;
  }
}

TEST(Bth, ReportsKeysOutOfOrder) {
  HeapWriter heap(kClientPc);
  const Hid header = heap.allocate(8);
  Bytes records = sortedRecords(3, 2, 6, 3);
  std::swap_ranges(records.begin(), records.begin() + 8, records.begin() + 8);
  writeBth(heap, header, {2, 6}, records);
  Problems problems;
  HeapReader reader(heap.pages(), problems);
  readBth(reader, header, problems);
  EXPECT_FALSE(problems.empty());
}

TEST(Utf16, RoundTripsAndReplacesWhatIsNotText) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(fromUtf16le(toUtf16le(text)), text);
  // A lone continuation byte, a truncated sequence and an overlong form each become U+FFFD.
  EXPECT_EQ(toUtf16le("\x80"), (Bytes{0xFD, 0xFF}));
  EXPECT_EQ(toUtf16le("a\xE2\x82"), (Bytes{'a', 0, 0xFD, 0xFF, 0xFD, 0xFF}));
  EXPECT_EQ(toUtf16le("\xC0\xAF"), (Bytes{0xFD, 0xFF, 0xFD, 0xFF}));
  // An unpaired surrogate on disk reads as U+FFFD.
  EXPECT_EQ(fromUtf16le(Bytes{0x3D, 0xD8, 'x', 0}), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace pst::ltp
