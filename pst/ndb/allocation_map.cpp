#include "pst/ndb/allocation_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "pst/ndb/page_trailer.h"
#include "pst/ndb/signature.h"

namespace pst::ndb {

void AMapBits::set(uint64_t first, uint64_t count) {
  for (uint64_t s = first; s < first + count; ++s) bits[s / 8] |= static_cast<uint8_t>(0x80u >> (s % 8));
}

uint64_t AMapBits::freeSlots() const {
  uint64_t used = 0;
  for (uint8_t b : bits) used += static_cast<uint64_t>(std::popcount(b));
  return kRegionSlots - used;
}

uint64_t AMapBits::longestFreeRun() const {
  uint64_t best = 0, run = 0;
  for (uint64_t s = 0; s < kRegionSlots; ++s) {
    run = test(s) ? 0 : run + 1;
    best = std::max(best, run);
  }
  return best;
}

void buildAMapPage(uint8_t* page, const AMapBits& bits, uint64_t ib) {
  std::memset(page, 0, kPageSize);
  std::memcpy(page, bits.bits.data(), kAMapBytes);
  sealPage(page, PageType::AMap, 0, ib);
}

void buildFullMapPage(uint8_t* page, PageType type, uint64_t ib) {
  std::memset(page, 0, kPageSize);
  std::memset(page, 0xFF, kAMapBytes);
  sealPage(page, type, 0, ib);
}

void buildFMapPage(uint8_t* page, const uint8_t* runs, size_t count, uint64_t ib) {
  std::memset(page, 0, kPageSize);
  std::memcpy(page, runs, std::min<size_t>(count, kAMapBytes));
  sealPage(page, PageType::FMap, 0, ib);
}

void buildDListPage(uint8_t* page, uint64_t bid) {
  std::memset(page, 0, kPageSize);
  sealPage(page, PageType::DList, computeSig(kDListOffset, bid), bid);
}

}  // namespace pst::ndb
