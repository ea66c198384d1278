// AMap regions and the map pages (AMap, PMap, FMap, FPMap) placed at their start.
#pragma once

#include <array>
#include <cstdint>

#include "pst/ndb/format.h"

namespace pst::ndb {

constexpr uint64_t kFirstAMap = 0x4400;
constexpr uint64_t kDListOffset = 0x4200;
constexpr uint64_t kAMapSlot = 64;                          // bytes per AMap bit
constexpr uint64_t kAMapBytes = 496;                        // bitmap bytes of one AMap page
constexpr uint64_t kRegionSize = kAMapBytes * 8 * kAMapSlot;  // 253,952
constexpr uint64_t kRegionSlots = kRegionSize / kAMapSlot;    // 3,968
constexpr uint64_t kAMapsPerPMap = 8;
constexpr uint64_t kFirstFMapRegion = 128;
constexpr uint64_t kAMapsPerFMap = 496;
constexpr uint64_t kFirstFPMapRegion = 8192;
constexpr uint64_t kAMapsPerFPMap = 496 * 8 * 8;  // 31,744

constexpr uint64_t regionStart(uint64_t n) { return kFirstAMap + n * kRegionSize; }
constexpr uint64_t regionOf(uint64_t ib) { return (ib - kFirstAMap) / kRegionSize; }

constexpr bool hasPMap(uint64_t n) { return n % kAMapsPerPMap == 0; }
constexpr bool hasFMap(uint64_t n) {
  return n >= kFirstFMapRegion && (n - kFirstFMapRegion) % kAMapsPerFMap == 0;
}
constexpr bool hasFPMap(uint64_t n) {
  return n >= kFirstFPMapRegion && (n - kFirstFPMapRegion) % kAMapsPerFPMap == 0;
}

constexpr uint64_t pmapOffset(uint64_t n) { return regionStart(n) + kPageSize; }
constexpr uint64_t fmapOffset(uint64_t n) { return regionStart(n) + 2 * kPageSize; }
constexpr uint64_t fpmapOffset(uint64_t n) { return regionStart(n) + 3 * kPageSize; }

// Slots the map pages of region n occupy at its start, as a mask of 512-byte pages
// (bit 0 AMap, bit 1 PMap, bit 2 FMap, bit 3 FPMap).
constexpr unsigned mapPagesOf(uint64_t n) {
  return 1u | (hasPMap(n) ? 2u : 0u) | (hasFMap(n) ? 4u : 0u) | (hasFPMap(n) ? 8u : 0u);
}
// First byte after the map pages at the start of region n.
constexpr uint64_t firstFreeInRegion(uint64_t n) {
  unsigned m = mapPagesOf(n);
  uint64_t end = 0;
  for (unsigned i = 0; i < 4; ++i)
    if (m & (1u << i)) end = (i + 1) * kPageSize;
  return regionStart(n) + end;
}

// The allocation bitmap of one region, MSB first: bit 7 of byte 0 is the region's first 64 bytes.
struct AMapBits {
  std::array<uint8_t, kAMapBytes> bits{};

  void set(uint64_t firstSlot, uint64_t count);
  bool test(uint64_t slot) const { return bits[slot / 8] & (0x80u >> (slot % 8)); }
  uint64_t freeSlots() const;
  uint64_t longestFreeRun() const;
};

// Fills a whole Unicode AMap page (bitmap and trailer) for the region starting at `ib`.
void buildAMapPage(uint8_t* page, const AMapBits& bits, uint64_t ib);
// A map page whose payload is all ones (PMap and FPMap: nothing for readers to find free there).
void buildFullMapPage(uint8_t* page, PageType type, uint64_t ib);
// An FMap page: one byte per AMap region from `firstRegion`, the longest free run capped at 255.
void buildFMapPage(uint8_t* page, const uint8_t* runs, size_t count, uint64_t ib);
// The empty DList Outlook leaves in a new file.
void buildDListPage(uint8_t* page, uint64_t bid);

}  // namespace pst::ndb
