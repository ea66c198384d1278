#include "pst/ltp/table_writer.h"

#include <algorithm>
#include <string>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

namespace le = ndb::le;

struct TableWriter::Impl {
  Impl(TcLayout columns, size_t rowCount, ndb::NdbWriter& w, SubnodeBuilder& s)
      : layout(std::move(columns)), expected(rowCount), writer(w), subnodes(s), heap(kClientTc, w) {
    for (const auto& c : layout.columns) variable.push_back(fixedSize(tagType(c.tag)) == 0);
    rowVer = *layout.find(kLtpRowVer);
    const size_t rowSize = layout.rowSize();
    inHeap = expected * rowSize <= kMaxHeapItem;
    perBlock = kHeapBlockSize / rowSize;
    // Outlook's order: the row index header first, then the TCINFO.
    rowIndex = heap.allocate(8);
    info = heap.allocate(22 + 8 * layout.columns.size());
    heap.setUserRoot(info);
    index.reserve(expected);
  }

  TcLayout layout;
  std::vector<bool> variable;  // per column
  size_t rowVer = 0;
  size_t expected;
  ndb::NdbWriter& writer;
  SubnodeBuilder& subnodes;
  HeapWriter heap;
  bool inHeap = true;
  size_t perBlock = 0;
  Hid rowIndex = 0, info = 0;
  Bytes pending;                 // finished rows not yet written
  std::vector<Bid> matrixBlocks;
  uint64_t matrixBytes = 0;
  std::vector<uint64_t> index;   // row id << 32 | row number: sorts by row id
  bool finished = false;
  bool keepEmptyCells = false;

  bool present(const uint8_t* row, const TcColumn& c) const {
    return row[layout.groupEnds[2] + c.bit / 8] & (0x80 >> (c.bit % 8));
  }

  void writeMatrixBlock(bool last) {
    if (!last) pending.resize(kHeapBlockSize, 0);
    matrixBlocks.push_back(writer.writeBlock(pending));
    matrixBytes += pending.size();
    pending.clear();
  }
};

TableWriter::TableWriter(std::vector<PropTag> columns, size_t rowCount, ndb::NdbWriter& writer,
                         SubnodeBuilder& subnodes)
    : TableWriter(layoutColumns(std::move(columns)), rowCount, writer, subnodes) {}

TableWriter::TableWriter(TcLayout layout, size_t rowCount, ndb::NdbWriter& writer, SubnodeBuilder& subnodes)
    : impl_(std::make_unique<Impl>(std::move(layout), rowCount, writer, subnodes)) {}

TableWriter::~TableWriter() = default;

const TcLayout& TableWriter::layout() const { return impl_->layout; }

void TableWriter::keepEmptyCells() { impl_->keepEmptyCells = true; }

void TableWriter::addRow(uint32_t rowId, std::span<const Property> cells) {
  const TcLayout& layout = impl_->layout;
  Bytes row(layout.rowSize(), 0);
  le::put<uint32_t>(row.data(), rowId);
  row[layout.groupEnds[2]] |= 0x80;  // LtpRowId, bit 0
  std::vector<Bytes> values;
  for (const auto& cell : cells) {
    const auto col = layout.find(cell.tag);
    if (!col || cell.tag == kLtpRowId) continue;
    const TcColumn& c = layout.columns[*col];
    Bytes value = encodeValue(cell.tag, cell.value);
    if (impl_->variable[*col]) {
      values.push_back(std::move(value));
      le::put<uint32_t>(row.data() + c.offset, static_cast<uint32_t>(values.size() - 1));
    } else {
      std::copy(value.begin(), value.end(), row.begin() + c.offset);
    }
    row[layout.groupEnds[2] + c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
  }
  addStoredRow(row, [&](size_t, uint32_t slot) { return std::span<const uint8_t>(values[slot]); });
}

void TableWriter::addStoredRow(std::span<uint8_t> row, const ValueOf& valueOf) {
  Impl& m = *impl_;
  const TcLayout& layout = m.layout;
  if (m.finished) throw Error("Internal error: a row added to a table already written");
  if (row.size() != layout.rowSize()) throw Error("Internal error: a table row of the wrong size");
  if (m.index.size() >= m.expected)
    throw Error("Internal error: more rows added to a table than the " + std::to_string(m.expected) + " announced");
  // Every variable-size cell gets its final HNID, and the row a version when it has none.
  uint8_t* r = row.data();
  for (size_t col = 0; col < layout.columns.size(); ++col) {
    const TcColumn& c = layout.columns[col];
    const bool present = m.present(r, c);
    if (col == m.rowVer && !present) {
      le::put<uint32_t>(r + c.offset, m.writer.nextUnique());
      r[layout.groupEnds[2] + c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
    }
    if (!m.variable[col] || !present) continue;
    const auto value = valueOf(col, le::u32(r + c.offset));
    if (value.empty() && !m.keepEmptyCells) {
      // HID 0 names no heap item: Outlook leaves an empty value's cell out of the row.
      le::put<uint32_t>(r + c.offset, 0);
      r[layout.groupEnds[2] + c.bit / 8] &= static_cast<uint8_t>(~(0x80 >> (c.bit % 8)));
      continue;
    }
    le::put<uint32_t>(r + c.offset, storeVariableValue(m.heap, m.subnodes, m.writer, value));
  }
  m.index.push_back(uint64_t{le::u32(r)} << 32 | m.index.size());
  m.pending.insert(m.pending.end(), row.begin(), row.end());
  // Whole rows per block; every block but the last is padded to a full 8,176 bytes.
  if (!m.inHeap && m.pending.size() / layout.rowSize() == m.perBlock)
    m.writeMatrixBlock(m.index.size() == m.expected);
}

Bid TableWriter::finish() {
  Impl& m = *impl_;
  if (m.finished) throw Error("Internal error: a table written twice");
  m.finished = true;
  if (m.index.size() != m.expected)
    throw Error("Internal error: a table announced with " + std::to_string(m.expected) + " rows got " +
                std::to_string(m.index.size()));
  const TcLayout& layout = m.layout;

  uint32_t hnidRows = 0;
  if (m.expected > 0 && m.inHeap) {
    hnidRows = m.heap.add(m.pending);
  } else if (m.expected > 0) {
    if (!m.pending.empty()) m.writeMatrixBlock(true);
    const Nid nid = m.subnodes.allocate(NidType::Ltp);
    m.subnodes.add(nid, m.writer.writeDataTree(m.matrixBlocks, m.matrixBytes));
    hnidRows = nid;
  }
  Bytes().swap(m.pending);

  std::sort(m.index.begin(), m.index.end());
  Bytes records(m.index.size() * 8);
  for (size_t i = 0; i < m.index.size(); ++i) {
    const uint32_t id = static_cast<uint32_t>(m.index[i] >> 32);
    if (i > 0 && id == static_cast<uint32_t>(m.index[i - 1] >> 32))
      throw Error("row " + std::to_string(id) + " is in the table twice");
    le::put<uint32_t>(records.data() + 8 * i, id);
    le::put<uint32_t>(records.data() + 8 * i + 4, static_cast<uint32_t>(m.index[i]));
  }
  std::vector<uint64_t>().swap(m.index);
  writeBth(m.heap, m.rowIndex, {4, 4}, records);

  uint8_t* t = m.heap.item(m.info).data();
  t[0] = kClientTc;
  t[1] = static_cast<uint8_t>(layout.columns.size());
  for (size_t g = 0; g < 4; ++g) le::put<uint16_t>(t + 2 + 2 * g, layout.groupEnds[g]);
  le::put<uint32_t>(t + 10, m.rowIndex);
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
  return m.heap.write(m.writer);
}

}  // namespace pst::ltp
