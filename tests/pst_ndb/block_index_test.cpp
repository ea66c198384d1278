// The writer's compact block index: BIDs follow from places, offsets keep all 48 bits.
#include <gtest/gtest.h>

#include "pst/ndb/block_index.h"

namespace pst::ndb {
namespace {

TEST(BlockIndex, KeepsEveryFieldAcrossChunksAndFindsOnlyExactBids) {
  BlockIndex index;
  constexpr size_t kBlocks = 200000;  // several storage chunks
  for (size_t i = 0; i < kBlocks; ++i) {
    ASSERT_EQ(index.nextBid(), (i + 1) * 4);
    index.add(i % 3 == 0, (uint64_t{i} << 26) + 0x4400, static_cast<uint16_t>(i % 8177));
  }
  ASSERT_EQ(index.size(), kBlocks);
  for (size_t i = 0; i < kBlocks; i += 4999) {
    const uint64_t bid = (i + 1) * 4 | (i % 3 == 0 ? 2 : 0);
    const auto at = index.find(bid);
    ASSERT_TRUE(at.has_value()) << bid;
    EXPECT_EQ(*at, i);
    const BbtEntry e = index.at(i);
    EXPECT_EQ(e.bid, bid);
    EXPECT_EQ(e.ib, (uint64_t{i} << 26) + 0x4400);  // beyond 4 GiB from i = 64 on
    EXPECT_EQ(e.cb, i % 8177);
    EXPECT_EQ(e.cRef, 1);
    // The same place with the other internal bit, or an odd BID, is another block.
    EXPECT_FALSE(index.find(bid ^ 2).has_value());
    EXPECT_FALSE(index.find(bid | 1).has_value());
  }
  EXPECT_FALSE(index.find(0).has_value());
  EXPECT_FALSE(index.find((kBlocks + 1) * 4).has_value());
  EXPECT_THROW(index.add(false, uint64_t{1} << 48, 1), Error);

  for (int k = 1; k < 65535; ++k) ASSERT_TRUE(index.addReference(7));
  EXPECT_FALSE(index.addReference(7));
  EXPECT_EQ(index.at(7).cRef, 65535);
}

}  // namespace
}  // namespace pst::ndb
