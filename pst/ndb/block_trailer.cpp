#include "pst/ndb/block_trailer.h"

#include "pst/ndb/le.h"

namespace pst::ndb {

BlockTrailer BlockTrailer::parse(const uint8_t* p, Format f) {
  BlockTrailer t;
  t.cb = le::u16(p);
  t.sig = le::u16(p + 2);
  if (f == Format::Unicode) {
    t.crc = le::u32(p + 4);
    t.bid = le::u64(p + 8);
  } else {
    t.bid = le::u32(p + 4);
    t.crc = le::u32(p + 8);
  }
  return t;
}

void BlockTrailer::write(uint8_t* p) const {
  le::put<uint16_t>(p, cb);
  le::put<uint16_t>(p + 2, sig);
  le::put<uint32_t>(p + 4, crc);
  le::put<uint64_t>(p + 8, bid);
}

}  // namespace pst::ndb
