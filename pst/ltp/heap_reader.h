// Reads a heap-on-node from its node data blocks and reports layout faults.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "pst/ltp/hid.h"
#include "pst/ltp/property.h"

namespace pst::ltp {

// Faults that do not stop reading, in the order found.
using Problems = std::vector<std::string>;

class HeapReader {
 public:
  // pst::Error when the first block is no heap (signature) or a page map cannot be parsed;
  // lesser faults (fill levels, item order, map position) go to `problems`.
  HeapReader(std::vector<Bytes> blocks, Problems& problems);

  uint8_t clientSignature() const { return clientSignature_; }
  Hid userRoot() const { return userRoot_; }
  size_t blockCount() const { return blocks_.size(); }
  size_t itemCount() const;
  // The bytes of an item; pst::Error for a HID that names no item.
  std::span<const uint8_t> item(Hid hid) const;

 private:
  struct Block {
    Bytes data;
    std::vector<uint16_t> starts;  // cAlloc + 1 offsets
    size_t mapEnd = 0;             // bytes in use, page map included
  };
  std::vector<Block> blocks_;
  uint8_t clientSignature_ = 0;
  Hid userRoot_ = 0;
};

// True when `data` starts like a heap-on-node (bSig at byte 2).
bool looksLikeHeap(std::span<const uint8_t> firstBlock);

}  // namespace pst::ltp
