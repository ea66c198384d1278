#include "pst/ndb/block_index.h"

#include <limits>

#include "pst/ndb/types.h"

namespace pst::ndb {

void BlockIndex::add(bool internal, uint64_t ib, uint16_t cb) {
  if (ib >> 48) throw Error("The PST file has grown past 256 TiB, the most this writer can address.");
  if (count_ % kChunk == 0) chunks_.push_back(std::make_unique_for_overwrite<Slot[]>(kChunk));
  slot(count_) = {{static_cast<uint16_t>(ib), static_cast<uint16_t>(ib >> 16), static_cast<uint16_t>(ib >> 32)},
                  static_cast<uint16_t>(cb | (internal ? kInternal : 0)),
                  1};
  ++count_;
}

std::optional<size_t> BlockIndex::find(uint64_t bid) const {
  if (bid % kStep > 2 || (bid & 1)) return std::nullopt;
  const uint64_t index = bid / kStep;
  if (index == 0 || index > count_) return std::nullopt;
  const bool internal = (bid & 2) != 0;
  if (((slot(index - 1).cb & kInternal) != 0) != internal) return std::nullopt;
  return static_cast<size_t>(index - 1);
}

BbtEntry BlockIndex::at(size_t index) const {
  const Slot& s = slot(index);
  BbtEntry e;
  e.bid = (index + 1) * kStep | ((s.cb & kInternal) ? 2 : 0);
  e.ib = uint64_t{s.ib[2]} << 32 | uint64_t{s.ib[1]} << 16 | s.ib[0];
  e.cb = s.cb & kCbMask;
  e.cRef = s.cRef;
  return e;
}

bool BlockIndex::addReference(size_t index) {
  Slot& s = slot(index);
  if (s.cRef == std::numeric_limits<uint16_t>::max()) return false;
  ++s.cRef;
  return true;
}

}  // namespace pst::ndb
