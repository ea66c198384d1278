#include "pst/ndb/data_tree_block.h"

#include "pst/ndb/le.h"
#include "pst/ndb/types.h"

namespace pst::ndb {

DataTreeBlock DataTreeBlock::parse(std::span<const uint8_t> d, Format f) {
  const size_t w = layoutOf(f).idSize;
  if (d.size() < kDataTreeHeader || d[0] != kDataTreeType || (d[1] != 1 && d[1] != 2))
    throw Error("A data tree block (XBLOCK) has a wrong type or level; the file is damaged.");
  DataTreeBlock b;
  b.level = d[1];
  const uint16_t n = le::u16(d.data() + 2);
  b.lcbTotal = le::u32(d.data() + 4);
  if (kDataTreeHeader + n * w > d.size())
    throw Error("A data tree block (XBLOCK) lists more entries than it holds; the file is damaged.");
  b.bids.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = d.data() + kDataTreeHeader + i * w;
    b.bids.push_back(w == 8 ? le::u64(p) : le::u32(p));
  }
  return b;
}

std::vector<uint8_t> DataTreeBlock::serialize() const {
  std::vector<uint8_t> out(kDataTreeHeader + bids.size() * 8);
  out[0] = kDataTreeType;
  out[1] = level;
  le::put<uint16_t>(out.data() + 2, static_cast<uint16_t>(bids.size()));
  le::put<uint32_t>(out.data() + 4, lcbTotal);
  for (size_t i = 0; i < bids.size(); ++i) le::put<uint64_t>(out.data() + 8 + 8 * i, bids[i]);
  return out;
}

}  // namespace pst::ndb
