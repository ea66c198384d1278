#include "pst/ltp/table_context.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "pst/ltp/table_writer.h"
#include "pst/ltp/tc_layout.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

namespace le = ndb::le;

// Rows are kept as they will be stored, except that a variable-size cell holds 1 + the index of
// its value in `values` until write() gives it a HID or subnode. The values themselves sit back
// to back in one arena: a vector per value would cost more than the row itself.
struct TableContextBuilder::Impl {
  struct Span {
    uint64_t offset = 0;
    uint32_t size = 0;
  };
  std::vector<PropTag> requested;
  TcLayout layout;
  std::vector<bool> variable;  // per column
  Bytes rows;
  Bytes arena;
  std::vector<Span> values;
  std::unordered_map<uint32_t, uint32_t> rowById;

  std::span<const uint8_t> value(uint32_t slot) const {
    const Span& s = values[slot - 1];
    return std::span<const uint8_t>(arena).subspan(s.offset, s.size);
  }
  Span store(const Bytes& value) {
    if (value.size() > UINT32_MAX) throw Error("a table cell of 4 GiB or more cannot be stored");
    const Span s{arena.size(), static_cast<uint32_t>(value.size())};
    arena.insert(arena.end(), value.begin(), value.end());
    return s;
  }

  uint8_t* row(size_t index) { return rows.data() + index * layout.rowSize(); }

  // Encodes every cell before touching the row, so a bad cell leaves the row as it was.
  void setCells(size_t index, std::span<const Property> cells) {
    std::vector<std::pair<size_t, Bytes>> encoded;
    encoded.reserve(cells.size());
    for (const auto& cell : cells) {
      const auto col = layout.find(cell.tag);
      if (col && cell.tag != kLtpRowId) encoded.emplace_back(*col, encodeValue(cell.tag, cell.value));
    }
    uint8_t* r = row(index);
    for (auto& [col, value] : encoded) {
      const TcColumn& c = layout.columns[col];
      if (variable[col]) {
        uint32_t slot = le::u32(r + c.offset);
        if (slot == 0) {
          values.push_back(store(value));
          slot = static_cast<uint32_t>(values.size());
        } else if (value.size() <= values[slot - 1].size) {
          // Repeated updates of one cell reuse its place instead of growing the arena.
          std::copy(value.begin(), value.end(), arena.begin() + static_cast<std::ptrdiff_t>(values[slot - 1].offset));
          values[slot - 1].size = static_cast<uint32_t>(value.size());
        } else {
          values[slot - 1] = store(value);
        }
        le::put<uint32_t>(r + c.offset, slot);
      } else {
        std::copy(value.begin(), value.end(), r + c.offset);
      }
      r[layout.groupEnds[2] + c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
    }
  }
};

TableContextBuilder::TableContextBuilder(std::vector<PropTag> columns) : impl_(std::make_unique<Impl>()) {
  impl_->requested = columns;
  impl_->layout = layoutColumns(std::move(columns));
  for (const auto& c : impl_->layout.columns) impl_->variable.push_back(fixedSize(tagType(c.tag)) == 0);
  // The requested list is what columns() reports: the caller's plus the two row keys.
  impl_->requested.clear();
  for (const auto& c : impl_->layout.columns) impl_->requested.push_back(c.tag);
}

TableContextBuilder::~TableContextBuilder() = default;
TableContextBuilder::TableContextBuilder(TableContextBuilder&&) noexcept = default;
TableContextBuilder& TableContextBuilder::operator=(TableContextBuilder&&) noexcept = default;

void TableContextBuilder::addRow(uint32_t rowId, std::span<const Property> cells) {
  Impl& m = *impl_;
  if (m.rowById.count(rowId)) throw Error("row " + std::to_string(rowId) + " is already in the table");
  const size_t index = m.rowById.size();
  m.rows.resize(m.rows.size() + m.layout.rowSize(), 0);
  uint8_t* r = m.row(index);
  le::put<uint32_t>(r, rowId);
  r[m.layout.groupEnds[2]] |= 0x80;  // LtpRowId, bit 0
  try {
    m.setCells(index, cells);
  } catch (...) {
    m.rows.resize(index * m.layout.rowSize());
    throw;
  }
  m.rowById.emplace(rowId, static_cast<uint32_t>(index));
}

void TableContextBuilder::updateRow(uint32_t rowId, std::span<const Property> cells) {
  const auto it = impl_->rowById.find(rowId);
  if (it == impl_->rowById.end()) throw Error("row " + std::to_string(rowId) + " is not in the table");
  impl_->setCells(it->second, cells);
}

size_t TableContextBuilder::rowCount() const { return impl_->rowById.size(); }
const std::vector<PropTag>& TableContextBuilder::columns() const { return impl_->requested; }

Bid TableContextBuilder::write(ndb::NdbWriter& writer, SubnodeBuilder& subnodes) const {
  const Impl& m = *impl_;
  const size_t rowSize = m.layout.rowSize();
  TableWriter table(m.layout, m.rowById.size(), writer, subnodes);
  if (keepEmptyCells_) table.keepEmptyCells();
  Bytes row(rowSize);
  for (size_t i = 0; i < m.rowById.size(); ++i) {
    std::copy(m.rows.begin() + i * rowSize, m.rows.begin() + (i + 1) * rowSize, row.begin());
    table.addStoredRow(row, [&](size_t, uint32_t slot) { return m.value(slot); });
  }
  return table.finish();
}

}  // namespace pst::ltp
