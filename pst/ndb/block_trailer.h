// BLOCKTRAILER: the last bytes of every block (cb, wSig, dwCRC, bid).
#pragma once

#include <cstdint>

#include "pst/ndb/format.h"

namespace pst::ndb {

// BLOCKTRAILER.
struct BlockTrailer {
  uint16_t cb = 0;
  uint16_t sig = 0;
  uint32_t crc = 0;
  uint64_t bid = 0;

  // `p` points at the trailer itself.
  static BlockTrailer parse(const uint8_t* p, Format f);
  void write(uint8_t* p) const;  // Unicode only
};

}  // namespace pst::ndb
