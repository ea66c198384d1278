// Writes a table context row by row. Row-matrix blocks and heap blocks go to the file as soon as
// they are final, so memory holds a few blocks and an 8-byte row-index record per row, however
// large the table: a folder's contents table is written this way straight from its spooled rows.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"
#include "pst/ltp/tc_layout.h"

namespace pst::ltp {

class TableWriter {
 public:
  // `rowCount` is the number of rows that will be added: it decides up front whether the row
  // matrix is a heap item or a subnode, as the finished table must show. Subnodes (a large row
  // matrix, large cell values) go into `subnodes`, see TableContextBuilder::write.
  TableWriter(std::vector<PropTag> columns, size_t rowCount, ndb::NdbWriter& writer, SubnodeBuilder& subnodes);
  TableWriter(TcLayout layout, size_t rowCount, ndb::NdbWriter& writer, SubnodeBuilder& subnodes);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  const TcLayout& layout() const;

  // An empty string or binary cell is left out of its row (existence bit clear), as Outlook
  // writes it everywhere but in one table: this keeps such cells present with HNID 0 instead.
  void keepEmptyCells();

  // Adds a row keyed by `rowId`, as TableContextBuilder::addRow does. A cell that cannot be
  // encoded is refused (pst::Error) before anything of the row is stored.
  void addRow(uint32_t rowId, std::span<const Property> cells);

  // Gives the bytes of the variable-size cell of `column`, whose row slot holds `slot`.
  using ValueOf = std::function<std::span<const uint8_t>(size_t column, uint32_t slot)>;
  // Adds a row already in stored form (layout().rowSize() bytes, LtpRowId at offset 0) except that
  // each present variable-size cell holds a slot for `valueOf` instead of its HNID. The row is
  // changed in place.
  void addStoredRow(std::span<uint8_t> row, const ValueOf& valueOf);

  // Writes the rest of the table; pst::Error when the number of rows added is not the one given
  // or a row id came twice. Returns the BID of the node data.
  Bid finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pst::ltp
