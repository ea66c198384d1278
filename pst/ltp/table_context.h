// Table context (TC): rows of properties under fixed columns, with a row-index BTH.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"

namespace pst::ltp {

class TableContextBuilder {
 public:
  // Columns in any order; LtpRowId (0x67F20003) and LtpRowVer (0x67F30003) are added when missing.
  explicit TableContextBuilder(std::vector<PropTag> columns);
  ~TableContextBuilder();
  TableContextBuilder(TableContextBuilder&&) noexcept;
  TableContextBuilder& operator=(TableContextBuilder&&) noexcept;

  // Appends a row keyed by `rowId` (for folder tables, the child's NID). Cells whose tags are not
  // columns are ignored; columns without a cell stay empty.
  void addRow(uint32_t rowId, std::span<const Property> cells);
  // Replaces the given cells of an existing row.
  void updateRow(uint32_t rowId, std::span<const Property> cells);
  size_t rowCount() const;
  // See TableWriter::keepEmptyCells (for the receive folder table, which Outlook writes so).
  void keepEmptyCells() { keepEmptyCells_ = true; }
  const std::vector<PropTag>& columns() const;

  // Writes the TC and returns the BID of its node data; a large row matrix or large
  // cell values go to subnodes in `subnodes`. For a table that is itself a subnode (a message's
  // recipient or attachment table) pass a builder for that subnode's own subnode tree: Outlook
  // and our reader look for the matrix there. Rows lacking an LtpRowVer get one from
  // writer.nextUnique().
  Bid write(ndb::NdbWriter& writer, SubnodeBuilder& subnodes) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool keepEmptyCells_ = false;
};

}  // namespace pst::ltp
