#include "pst/ltp/hid.h"

namespace pst::ltp {

uint8_t fillLevel(size_t freeBytes) {
  // Lower bounds of free space for levels 0..14; below 8 bytes free is level 15.
  static constexpr size_t kAtLeast[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                        512,  256,  128,  64,   32,   16,   8};
  for (uint8_t level = 0; level < 15; ++level)
    if (freeBytes >= kAtLeast[level]) return level;
  return 15;
}

}  // namespace pst::ltp
