#include "pst/messaging/row_positions.h"

#include "pst/ltp/property.h"

namespace pst::messaging {

void RowPositions::add(uint64_t position) {
  if (count_ > 0 && position <= last_) throw Error("Internal error: table rows parked out of order");
  uint64_t delta = position - last_;
  last_ = position;
  do {
    const uint8_t low = delta & 0x7F;
    delta >>= 7;
    bytes_.push_back(delta ? (low | 0x80) : low);
  } while (delta);
  ++count_;
}

}  // namespace pst::messaging
