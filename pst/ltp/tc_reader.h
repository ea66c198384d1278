// Reads a table context: its columns, row index and rows, checking their layout on the way.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "pst/ltp/node_source.h"
#include "pst/ltp/tc_layout.h"

namespace pst::ltp {

class TableReader {
 public:
  using Cells = std::vector<std::optional<PropValue>>;  // one per column; nullopt = no cell

  // pst::Error when the node is no TC or its TCINFO or row matrix cannot be found; layout faults
  // (column order and groups, row index, block sizes) go to `problems`.
  TableReader(const NodeSource& source, Problems& problems);
  ~TableReader();

  const TcLayout& layout() const { return layout_; }
  size_t rowCount() const { return rowCount_; }
  // Row ids in row-index (key) order.
  const std::vector<uint32_t>& indexedRowIds() const { return indexedIds_; }

  // Visits every row in matrix order (none when the column layout leaves no room for the
  // bitmap, a fault already reported); cell faults (unreadable values, bits or bytes set for
  // missing cells) go to the `problems` given to the constructor. Cells of types this layer
  // does not know come back as their raw bytes.
  void forEachRow(const std::function<void(size_t index, uint32_t rowId, const Cells&)>& visit) const;
  // Columns of the cells that forEachRow found present with HNID 0, which names no heap item.
  const std::vector<size_t>& cellsWithHnidZero() const { return hnidZero_; }

 private:
  std::span<const uint8_t> row(size_t index) const;
  void problem(std::string text) const;

  const NodeSource& source_;
  Problems& problems_;
  std::unique_ptr<HeapReader> heap_;
  TcLayout layout_;
  std::vector<Bytes> matrix_;  // one element per block (a single one when in the heap)
  size_t rowsPerBlock_ = 0;
  size_t rowCount_ = 0;
  std::vector<uint32_t> indexedIds_;
  bool cellsReadable_ = false;
  mutable size_t reported_ = 0;
  mutable std::vector<size_t> hnidZero_;
};

}  // namespace pst::ltp
