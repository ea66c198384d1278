#include "pst/ltp/tc_reader.h"

#include <algorithm>
#include <cstdio>

#include "pst/ltp/bth_reader.h"
#include "pst/ltp/heap_reader.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

namespace le = ndb::le;

namespace {
// One table's faults beyond this many are summed up rather than listed.
constexpr size_t kMaxProblemsPerTable = 40;
}  // namespace

void TableReader::problem(std::string text) const {
  if (reported_ < kMaxProblemsPerTable) problems_.push_back(std::move(text));
  else if (reported_ == kMaxProblemsPerTable) problems_.push_back("more table faults left out");
  ++reported_;
}

TableReader::~TableReader() = default;

TableReader::TableReader(const NodeSource& source, Problems& problems) : source_(source), problems_(problems) {
  heap_ = std::make_unique<HeapReader>(source.blocks, problems);
  if (heap_->clientSignature() != kClientTc) throw Error("heap is no table context (client signature not 0x7C)");
  const auto info = heap_->item(heap_->userRoot());
  if (info.size() < 22 || info[0] != kClientTc) throw Error("TCINFO missing or without its 0x7C signature");
  const size_t cols = info[1];
  if (info.size() != 22 + 8 * cols) throw Error("TCINFO size does not match its column count");
  for (size_t g = 0; g < 4; ++g) layout_.groupEnds[g] = le::u16(info.data() + 2 + 2 * g);
  const Hid rowIndex = le::u32(info.data() + 10);
  const uint32_t hnidRows = le::u32(info.data() + 14);
  for (size_t i = 0; i < cols; ++i) {
    const uint8_t* d = info.data() + 22 + 8 * i;
    layout_.columns.push_back({le::u32(d), le::u16(d + 4), d[6], d[7]});
  }

  // Column rules.
  const auto& ends = layout_.groupEnds;
  if (!(ends[0] <= ends[1] && ends[1] <= ends[2] && ends[2] <= ends[3]))
    problem("TCINFO group ends (rgib) are not in ascending order");
  if (ends[3] != ends[2] + (cols + 7) / 8) problem("cell-existence bitmap is not ceil(columns / 8) bytes");
  // Cells can only be read where the bitmap lies inside the row.
  cellsReadable_ = ends[0] <= ends[1] && ends[1] <= ends[2] && size_t{ends[2]} + (cols + 7) / 8 <= ends[3];
  std::vector<bool> bitUsed((cols + 7) / 8 * 8, false);
  for (size_t i = 0; i < cols; ++i) {
    const TcColumn& c = layout_.columns[i];
    const std::string name = "column " + tagText(c.tag);
    if (i > 0 && layout_.columns[i - 1].tag >= c.tag) problem(name + " out of tag order");
    const size_t end = size_t{c.offset} + c.size;
    const bool inGroup = (c.size == 8 || c.size == 4)   ? end <= ends[0]
                         : c.size == 2                   ? c.offset >= ends[0] && end <= ends[1]
                         : c.size == 1                   ? c.offset >= ends[1] && end <= ends[2]
                                                         : false;
    if (!inGroup) problem(name + " of " + std::to_string(c.size) + " bytes lies outside its size group");
    if (isKnownType(tagType(c.tag)) && c.size != cellSize(tagType(c.tag)))
      problem(name + " has cell size " + std::to_string(c.size) + ", its type needs " +
              std::to_string(cellSize(tagType(c.tag))));
    if (c.bit >= bitUsed.size() || bitUsed[c.bit]) problem(name + " has a bitmap bit out of range or shared");
    else bitUsed[c.bit] = true;
  }
  std::vector<TcColumn> byOffset = layout_.columns;
  std::sort(byOffset.begin(), byOffset.end(), [](const TcColumn& a, const TcColumn& b) { return a.offset < b.offset; });
  for (size_t i = 1; i < byOffset.size(); ++i)
    if (byOffset[i - 1].offset + byOffset[i - 1].size > byOffset[i].offset)
      problem("columns " + tagText(byOffset[i - 1].tag) + " and " + tagText(byOffset[i].tag) + " overlap");
  const auto rowIdCol = layout_.find(kLtpRowId), rowVerCol = layout_.find(kLtpRowVer);
  if (!rowIdCol || layout_.columns[*rowIdCol].offset != 0 || layout_.columns[*rowIdCol].bit != 0)
    problem("LtpRowId is not the column at offset 0, bit 0");
  if (!rowVerCol || layout_.columns[*rowVerCol].offset != 4 || layout_.columns[*rowVerCol].bit != 1)
    problem("LtpRowVer is not the column at offset 4, bit 1");

  // The row matrix.
  const size_t rowSize = layout_.rowSize();
  if (hnidRows != 0 && rowSize < 8) throw Error("rows present but shorter than their two row keys");
  if (hnidRows == 0) {
    rowCount_ = 0;
  } else if (isHid(hnidRows)) {
    const auto item = heap_->item(hnidRows);
    matrix_.emplace_back(item.begin(), item.end());
    rowsPerBlock_ = item.size() / rowSize;
    rowCount_ = rowsPerBlock_;
    if (item.size() % rowSize) problem("row matrix in the heap is not a whole number of rows");
  } else {
    if (!source.subnodeBlocks) throw Error("row matrix in a subnode, but the node has no subnodes");
    matrix_ = source.subnodeBlocks(hnidRows);
    rowsPerBlock_ = kHeapBlockSize / rowSize;
    for (size_t b = 0; b < matrix_.size(); ++b) {
      const size_t size = matrix_[b].size();
      if (b + 1 < matrix_.size()) {
        if (size != kHeapBlockSize)
          problem("row matrix block " + std::to_string(b) + " is " + std::to_string(size) + " bytes, not 8,176");
        rowCount_ += rowsPerBlock_;
      } else {
        if (size % rowSize) problem("last row matrix block is not a whole number of rows");
        rowCount_ += size / rowSize;
      }
    }
  }

  // The row index: row id -> row number, one entry per row, each naming its own row.
  const BthContents index = readBth(*heap_, rowIndex, problems);
  if (index.shape.keySize != 4 || (index.shape.dataSize != 4 && index.shape.dataSize != 2))
    problem("row index BTH has key/data sizes other than 4/4 (or 4/2)");
  if (index.count() != rowCount_)
    problem("row index has " + std::to_string(index.count()) + " entries for " + std::to_string(rowCount_) + " rows");
  std::vector<bool> seen(rowCount_, false);
  indexedIds_.reserve(index.count());
  for (size_t i = 0; i < index.count(); ++i) {
    const auto r = index.record(i);
    const uint32_t id = le::u32(r.data());
    const uint32_t at = index.shape.dataSize == 2 ? le::u16(r.data() + 4) : le::u32(r.data() + 4);
    indexedIds_.push_back(id);
    if (at >= rowCount_ || seen[at]) {
      problem("row index entry for row id " + std::to_string(id) + " names a missing or already named row");
      continue;
    }
    seen[at] = true;
    if (row(at).empty())
      problem("row " + std::to_string(at) + " lies past the end of its row matrix block");
    else if (le::u32(row(at).data()) != id)
      problem("row index sends row id " + std::to_string(id) + " to a row with another id");
  }
}

std::span<const uint8_t> TableReader::row(size_t index) const {
  if (rowsPerBlock_ == 0) return {};
  const size_t block = index / rowsPerBlock_;
  const size_t rowSize = layout_.rowSize();
  const size_t offset = (index % rowsPerBlock_) * rowSize;
  // A block cut short leaves rows that are not there: an empty span says so.
  if (block >= matrix_.size() || offset + rowSize > matrix_[block].size()) return {};
  return std::span<const uint8_t>(matrix_[block]).subspan(offset, rowSize);
}

void TableReader::forEachRow(const std::function<void(size_t, uint32_t, const Cells&)>& visit) const {
  if (!cellsReadable_) return;
  const size_t cols = layout_.columns.size();
  const size_t bitmapStart = layout_.groupEnds[2];
  Cells cells(cols);
  for (size_t i = 0; i < rowCount_; ++i) {
    const auto r = row(i);
    const std::string where = "row " + std::to_string(i) + ": ";
    if (r.empty()) continue;  // already reported by the row index check
    std::vector<bool> covered(cols ? (cols + 7) / 8 * 8 : 0, false);
    for (size_t c = 0; c < cols; ++c) {
      const TcColumn& col = layout_.columns[c];
      cells[c].reset();
      if (col.bit >= covered.size() || size_t{col.offset} + col.size > bitmapStart) continue;
      covered[col.bit] = true;
      const auto slot = r.subspan(col.offset, col.size);
      const bool present = r[bitmapStart + col.bit / 8] & (0x80 >> (col.bit % 8));
      if (!present) {
        if (std::any_of(slot.begin(), slot.end(), [](uint8_t b) { return b != 0; }))
          problem(where + "missing cell " + tagText(col.tag) + " is not zero");
        continue;
      }
      const PropType type = tagType(col.tag);
      try {
        if (!isKnownType(type)) {
          if (col.size == 4 && otherTypeByReference(static_cast<uint16_t>(type)))
            cells[c] = fetchHnid(*heap_, source_, le::u32(slot.data()));
          else
            cells[c] = Bytes(slot.begin(), slot.end());
        } else if (fixedSize(type)) {
          cells[c] = decodeValue(col.tag, slot);
        } else {
          if (le::u32(slot.data()) == 0) hnidZero_.push_back(c);
          cells[c] = decodeValue(col.tag, fetchHnid(*heap_, source_, le::u32(slot.data())));
        }
      } catch (const Error& e) {
        problem(where + tagText(col.tag) + ": " + e.what());
      }
    }
    for (size_t bit = 0; bit < covered.size(); ++bit)
      if (!covered[bit] && (r[bitmapStart + bit / 8] & (0x80 >> (bit % 8))))
        problem(where + "bitmap bit " + std::to_string(bit) + " is set but belongs to no column");
    visit(i, r.size() >= 4 ? le::u32(r.data()) : 0, cells);
  }
}

}  // namespace pst::ltp
