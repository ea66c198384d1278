// Reads a BTH from a heap: its shape and its leaf records in key order.
#pragma once

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_reader.h"

namespace pst::ltp {

struct BthContents {
  BthShape shape;
  uint8_t indexLevels = 0;
  Bytes records;  // keySize + dataSize bytes each, as stored in the leaves
  size_t count() const { return records.size() / (size_t{shape.keySize} + shape.dataSize); }
  std::span<const uint8_t> record(size_t i) const {
    const size_t n = size_t{shape.keySize} + shape.dataSize;
    return std::span<const uint8_t>(records).subspan(i * n, n);
  }
};

// pst::Error for a header or node that cannot be read; keys out of order, index keys that
// differ from their child's first key and odd-sized nodes go to `problems`.
BthContents readBth(const HeapReader& heap, Hid header, Problems& problems);

// Little-endian unsigned comparison of two keys of equal size.
int compareKeys(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace pst::ltp
