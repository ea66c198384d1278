#include "pst/ndb/page_trailer.h"

#include <span>

#include "pst/ndb/crc.h"
#include "pst/ndb/le.h"

namespace pst::ndb {

PageTrailer PageTrailer::parse(const uint8_t* page, Format f) {
  const Layout& l = layoutOf(f);
  const uint8_t* p = page + kPageSize - l.pageTrailer;
  PageTrailer t;
  t.ptype = p[0];
  t.ptypeRepeat = p[1];
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

void sealPage(uint8_t* page, PageType type, uint16_t sig, uint64_t bid) {
  uint8_t* p = page + kPageSize - kUnicode.pageTrailer;
  p[0] = p[1] = static_cast<uint8_t>(type);
  le::put<uint16_t>(p + 2, sig);
  le::put<uint32_t>(p + 4, crc32({page, kUnicode.pageData}));
  le::put<uint64_t>(p + 8, bid);
}

}  // namespace pst::ndb
