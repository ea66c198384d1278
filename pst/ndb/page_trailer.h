// PAGETRAILER: the last bytes of every 512-byte page (ptype, ptypeRepeat, wSig, dwCRC, bid).
#pragma once

#include <cstdint>

#include "pst/ndb/format.h"

namespace pst::ndb {

// PAGETRAILER.
struct PageTrailer {
  uint8_t ptype = 0;
  uint8_t ptypeRepeat = 0;
  uint16_t sig = 0;
  uint32_t crc = 0;
  uint64_t bid = 0;

  // `page` points at the start of the 512-byte page.
  static PageTrailer parse(const uint8_t* page, Format f);
};

// Fills in the trailer of a Unicode page whose first 496 bytes are final: the CRC covers them.
// Map pages pass sig 0 and their own offset as `bid`.
void sealPage(uint8_t* page, PageType type, uint16_t sig, uint64_t bid);

}  // namespace pst::ndb
