// SLBLOCK and SIBLOCK: the internal blocks of a node's subnode tree.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

constexpr uint8_t kSubnodeTreeType = 0x02;
constexpr size_t kSlBlockMaxEntries = (kUnicode.maxBlockData() - kUnicode.subnodeHeader) / kUnicode.slEntry;  // 340
constexpr size_t kSiBlockMaxEntries = (kUnicode.maxBlockData() - kUnicode.subnodeHeader) / kUnicode.siEntry;  // 510

// One entry as stored: SLENTRY (level 0) uses all three ids, SIENTRY (level 1) only nid and bidData.
struct SubnodeRecord {
  uint64_t nid = 0;  // full stored width; Outlook sometimes leaves junk in the upper half
  uint64_t bidData = 0;
  uint64_t bidSub = 0;
};

// SLBLOCK (level 0) or SIBLOCK (level 1).
struct SubnodeBlock {
  uint8_t level = 0;  // 0 SLBLOCK, 1 SIBLOCK
  std::vector<SubnodeRecord> entries;

  // Throws pst::Error when the bytes are not an SLBLOCK/SIBLOCK.
  static SubnodeBlock parse(std::span<const uint8_t> data, Format f);
  // Unicode encoding (not padded, no trailer).
  std::vector<uint8_t> serialize() const;
};

}  // namespace pst::ndb
