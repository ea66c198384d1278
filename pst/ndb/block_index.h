// The BBT entries of a file being written, kept until finish() in 10 bytes each instead of 24.
// BIDs are handed out in steps of four, so an entry's place gives its BID but for the internal
// bit; storage grows in fixed chunks, so growing never copies what is stored (a single vector
// would briefly need twice its size at every growth, at millions of blocks a memory spike).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "pst/ndb/bt_page.h"
#include "pst/ndb/types.h"

namespace pst::ndb {

class BlockIndex {
 public:
  // The BID the next added block must have (without the internal bit).
  uint64_t nextBid() const { return (count_ + 1) * kStep; }
  // Appends the entry of block nextBid() | (internal ? 2 : 0), with one reference.
  void add(bool internal, uint64_t ib, uint16_t cb);
  size_t size() const { return count_; }
  // The place of exactly `bid`, if this file holds it.
  std::optional<size_t> find(uint64_t bid) const;
  BbtEntry at(size_t index) const;
  uint16_t cb(size_t index) const { return slot(index).cb & kCbMask; }
  // Adds a reference; false when the count is at its maximum.
  bool addReference(size_t index);
  // Takes back a reference added with addReference.
  void dropReference(size_t index) { --slot(index).cRef; }
  // Forgets the entries from `count` on (their BIDs are handed out again).
  void truncate(size_t count) { count_ = count < count_ ? count : count_; }

 private:
  static constexpr uint64_t kStep = 4;
  static constexpr size_t kChunk = 1 << 16;
  static constexpr uint16_t kInternal = 0x8000;  // cb is at most 8,176, so its top bit is free
  static constexpr uint16_t kCbMask = 0x7FFF;
  struct Slot {
    uint16_t ib[3];  // 48 bits of file offset, in 16-bit parts to keep the slot 2-byte aligned
    uint16_t cb;  // with kInternal
    uint16_t cRef;
  };
  static_assert(sizeof(Slot) == 10);
  const Slot& slot(size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  Slot& slot(size_t i) { return chunks_[i / kChunk][i % kChunk]; }

  std::vector<std::unique_ptr<Slot[]>> chunks_;
  size_t count_ = 0;
};

}  // namespace pst::ndb
