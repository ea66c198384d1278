// Where each column of a table context lives in a row: TCOLDESCs and the group ends (rgib).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::ltp {

constexpr PropTag kLtpRowId = 0x67F20003;
constexpr PropTag kLtpRowVer = 0x67F30003;

struct TcColumn {
  PropTag tag = 0;
  uint16_t offset = 0;  // ibData
  uint8_t size = 0;     // cbData
  uint8_t bit = 0;      // iBit in the cell-existence bitmap
};

struct TcLayout {
  std::vector<TcColumn> columns;  // sorted by tag
  // Ends of the 8/4-byte group, the 2-byte group, the 1-byte group and the bitmap (= row size).
  std::array<uint16_t, 4> groupEnds{};
  size_t rowSize() const { return groupEnds[3]; }
  // The column with exactly this tag, or nullopt.
  std::optional<size_t> find(PropTag tag) const;
};

// Cell size of a column: the value itself for fixed types, a 4-byte HNID for the rest.
size_t cellSize(PropType type);

// Lays out `tags` (any order, duplicates and unknown types rejected with pst::Error); adds
// LtpRowId and LtpRowVer when missing and puts them at offsets 0 and 4, bits 0 and 1. Bits and
// offsets within each size group follow the order of `tags`.
TcLayout layoutColumns(std::vector<PropTag> tags);

}  // namespace pst::ltp
