// Writes a BTH (B-tree on heap) into a heap: leaf records, index levels and the BTHHEADER.
#pragma once

#include <cstdint>
#include <span>

#include "pst/ltp/heap_writer.h"

namespace pst::ltp {

struct BthShape {
  uint8_t keySize = 2;   // 2, 4, 8 or 16
  uint8_t dataSize = 6;  // 1..32
};

// `records` holds records of keySize + dataSize bytes each, sorted by key (little-endian) with
// no duplicates. The BTHHEADER goes into `header`, an 8-byte item the caller allocated (so that it
// can be the heap's first item). Returns the number of index levels written.
uint8_t writeBth(HeapWriter& heap, Hid header, BthShape shape, std::span<const uint8_t> records);

}  // namespace pst::ltp
