// Where a folder's rows are in the row spool, about 2 bytes per row instead of 8: positions only
// grow, so each is kept as its distance from the one before, in 7-bit groups (LEB128). At a
// million messages this is megabytes, not tens of megabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pst::messaging {

class RowPositions {
 public:
  // `position` must be above the last one added.
  void add(uint64_t position);
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Visits the positions in the order they were added.
  template <typename Visit>
  void forEach(Visit visit) const {
    uint64_t position = 0;
    for (size_t i = 0; i < bytes_.size();) {
      uint64_t delta = 0;
      for (unsigned shift = 0;; shift += 7) {
        const uint8_t b = bytes_[i++];
        delta |= uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80)) break;
      }
      position += delta;
      visit(position);
    }
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t last_ = 0;
  size_t count_ = 0;
};

}  // namespace pst::messaging
