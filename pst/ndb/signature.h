// The 16-bit signature of a block or page, derived from its file offset and BID.
#pragma once

#include <cstdint>

namespace pst::ndb {

constexpr uint16_t computeSig(uint64_t ib, uint64_t bid) {
  uint32_t v = static_cast<uint32_t>(ib ^ bid);
  return static_cast<uint16_t>((v >> 16) ^ (v & 0xFFFF));
}

}  // namespace pst::ndb
