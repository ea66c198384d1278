#include "pst/ndb/subnode_block.h"

#include "pst/ndb/le.h"
#include "pst/ndb/types.h"

namespace pst::ndb {

SubnodeBlock SubnodeBlock::parse(std::span<const uint8_t> d, Format f) {
  const Layout& l = layoutOf(f);
  if (d.size() < l.subnodeHeader || d[0] != kSubnodeTreeType || d[1] > 1)
    throw Error("A subnode tree block (SLBLOCK/SIBLOCK) has a wrong type or level; the file is damaged.");
  SubnodeBlock b;
  b.level = d[1];
  const uint16_t n = le::u16(d.data() + 2);
  const size_t ent = b.level == 0 ? l.slEntry : l.siEntry;
  if (l.subnodeHeader + n * ent > d.size())
    throw Error("A subnode tree block lists more entries than it holds; the file is damaged.");
  auto id = [&](const uint8_t* p) -> uint64_t { return l.idSize == 8 ? le::u64(p) : le::u32(p); };
  b.entries.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = d.data() + l.subnodeHeader + i * ent;
    SubnodeRecord r;
    r.nid = id(p);
    r.bidData = id(p + l.idSize);
    if (b.level == 0) r.bidSub = id(p + 2 * l.idSize);
    b.entries.push_back(r);
  }
  return b;
}

std::vector<uint8_t> SubnodeBlock::serialize() const {
  const size_t ent = level == 0 ? kUnicode.slEntry : kUnicode.siEntry;
  std::vector<uint8_t> out(kUnicode.subnodeHeader + entries.size() * ent);
  out[0] = kSubnodeTreeType;
  out[1] = level;
  le::put<uint16_t>(out.data() + 2, static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* p = out.data() + kUnicode.subnodeHeader + i * ent;
    le::put<uint64_t>(p, entries[i].nid);
    le::put<uint64_t>(p + 8, entries[i].bidData);
    if (level == 0) le::put<uint64_t>(p + 16, entries[i].bidSub);
  }
  return out;
}

}  // namespace pst::ndb
