#include "pst/ltp/table_context.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
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
  const TcLayout& layout = m.layout;
  const size_t rowSize = layout.rowSize();
  const size_t count = m.rowById.size();

  // Outlook's order: the row index header first, then the TCINFO.
  HeapWriter heap(kClientTc);
  const Hid rowIndex = heap.allocate(8);
  const Hid info = heap.allocate(22 + 8 * layout.columns.size());
  heap.setUserRoot(info);

  // Gives every variable-size cell of `r` its final HNID, and a row version when it has none.
  const auto rowVer = *layout.find(kLtpRowVer);
  auto finishRow = [&](uint8_t* r) {
    const uint8_t* bitmap = r + layout.groupEnds[2];
    for (size_t col = 0; col < layout.columns.size(); ++col) {
      const TcColumn& c = layout.columns[col];
      const bool present = bitmap[c.bit / 8] & (0x80 >> (c.bit % 8));
      if (col == rowVer && !present) {
        le::put<uint32_t>(r + c.offset, writer.nextUnique());
        r[layout.groupEnds[2] + c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
      }
      if (!m.variable[col] || !present) continue;
      const auto value = m.value(le::u32(r + c.offset));
      le::put<uint32_t>(r + c.offset, storeVariableValue(heap, subnodes, writer, value));
    }
  };

  uint32_t hnidRows = 0;
  if (count > 0 && count * rowSize <= kMaxHeapItem) {
    Bytes matrix(m.rows);
    for (size_t i = 0; i < count; ++i) finishRow(matrix.data() + i * rowSize);
    hnidRows = heap.add(matrix);
  } else if (count > 0) {
    // Whole rows per block; every block but the last is padded to a full 8,176 bytes.
    const size_t perBlock = kHeapBlockSize / rowSize;
    std::vector<Bid> blocks;
    uint64_t total = 0;
    Bytes block;
    for (size_t first = 0; first < count; first += perBlock) {
      const size_t n = std::min(perBlock, count - first);
      block.assign(m.rows.begin() + first * rowSize, m.rows.begin() + (first + n) * rowSize);
      for (size_t i = 0; i < n; ++i) finishRow(block.data() + i * rowSize);
      if (first + n < count) block.resize(kHeapBlockSize, 0);
      blocks.push_back(writer.writeBlock(block));
      total += block.size();
    }
    const Nid nid = subnodes.allocate(NidType::Ltp);
    subnodes.add(nid, writer.writeDataTree(blocks, total));
    hnidRows = nid;
  }

  std::vector<std::pair<uint32_t, uint32_t>> byId(m.rowById.begin(), m.rowById.end());
  std::sort(byId.begin(), byId.end());
  Bytes records(byId.size() * 8);
  for (size_t i = 0; i < byId.size(); ++i) {
    le::put<uint32_t>(records.data() + 8 * i, byId[i].first);
    le::put<uint32_t>(records.data() + 8 * i + 4, byId[i].second);
  }
  writeBth(heap, rowIndex, {4, 4}, records);

  uint8_t* t = heap.item(info).data();
  t[0] = kClientTc;
  t[1] = static_cast<uint8_t>(layout.columns.size());
  for (size_t g = 0; g < 4; ++g) le::put<uint16_t>(t + 2 + 2 * g, layout.groupEnds[g]);
  le::put<uint32_t>(t + 10, rowIndex);
  le::put<uint32_t>(t + 14, hnidRows);
  le::put<uint32_t>(t + 18, 0);
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    const TcColumn& c = layout.columns[i];
    uint8_t* d = t + 22 + 8 * i;
    le::put<uint32_t>(d, c.tag);
    le::put<uint16_t>(d + 4, c.offset);
    d[6] = c.size;
    d[7] = c.bit;
  }
  return heap.write(writer);
}

}  // namespace pst::ltp
