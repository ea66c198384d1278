// XBLOCK and XXBLOCK: the internal blocks that join the data blocks of large node data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

constexpr uint8_t kDataTreeType = 0x01;
constexpr size_t kDataTreeHeader = 8;
constexpr size_t kXBlockMaxEntries = (kUnicode.maxBlockData() - kDataTreeHeader) / 8;  // 1021

// XBLOCK (level 1) or XXBLOCK (level 2).
struct DataTreeBlock {
  uint8_t level = 0;  // 1 XBLOCK, 2 XXBLOCK
  uint32_t lcbTotal = 0;
  std::vector<uint64_t> bids;

  // Throws pst::Error when the bytes are not an XBLOCK/XXBLOCK.
  static DataTreeBlock parse(std::span<const uint8_t> data, Format f);
  // Unicode encoding (not padded, no trailer).
  std::vector<uint8_t> serialize() const;
};

}  // namespace pst::ndb
