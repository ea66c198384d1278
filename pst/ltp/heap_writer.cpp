#include "pst/ltp/heap_writer.h"

#include <string>

#include "pst/ndb/le.h"

namespace pst::ltp {
namespace {

// Bytes a page takes once its map is appended: data, alignment byte, cAlloc, cFree, offsets.
size_t finishedSize(size_t dataSize, size_t items) { return dataSize + (dataSize & 1) + 4 + 2 * (items + 1); }

}  // namespace

HeapWriter::HeapWriter(uint8_t clientSignature) : clientSignature_(clientSignature) {}
HeapWriter::HeapWriter(uint8_t clientSignature, ndb::NdbWriter& writer)
    : clientSignature_(clientSignature), stream_(&writer) {}

Hid HeapWriter::allocate(size_t size) {
  if (size == 0 || size > kMaxHeapItem)
    throw Error("heap item of " + std::to_string(size) + " bytes: items hold 1 to 3,580 bytes");
  if (pages_.empty() || pages_.back().starts.size() >= kMaxItemsPerBlock ||
      finishedSize(pages_.back().data.size() + size, pages_.back().starts.size() + 1) > kHeapBlockSize) {
    if (pages_.size() >= kMaxHeapBlocks)
      throw Error("heap-on-node full (65,536 blocks): the table or property set is too large for one node");
    pages_.push_back({Bytes(heapBlockHeaderSize(pages_.size()), 0), {}});
    if (stream_) streamFinalPages();
  }
  Page& page = pages_.back();
  page.starts.push_back(static_cast<uint16_t>(page.data.size()));
  page.data.resize(page.data.size() + size, 0);
  return makeHid(static_cast<uint32_t>(pages_.size() - 1), static_cast<uint32_t>(page.starts.size() - 1));
}

Hid HeapWriter::add(std::span<const uint8_t> bytes) {
  const Hid hid = allocate(bytes.size());
  std::copy(bytes.begin(), bytes.end(), item(hid).begin());
  return hid;
}

std::span<uint8_t> HeapWriter::item(Hid hid) {
  const uint32_t block = hidBlock(hid);
  const int index = hidItem(hid);
  if (block >= pages_.size() || index < 0 || static_cast<size_t>(index) >= pages_[block].starts.size())
    throw Error("heap item " + std::to_string(hid) + " does not exist");
  Page& page = pages_[block];
  if (page.bid != 0) throw Error("heap item " + std::to_string(hid) + " is already written to the file");
  const size_t begin = page.starts[index];
  const size_t end = static_cast<size_t>(index) + 1 < page.starts.size() ? page.starts[index + 1] : page.data.size();
  return std::span<uint8_t>(page.data).subspan(begin, end - begin);
}

Bytes HeapWriter::finishPage(size_t index) const {
  const Page& page = pages_[index];
  Bytes out = page.data;
  if (out.size() & 1) out.push_back(0);
  const uint16_t ibHnpm = static_cast<uint16_t>(out.size());
  ndb::le::put<uint16_t>(out.data(), ibHnpm);
  out.resize(out.size() + 4 + 2 * (page.starts.size() + 1), 0);
  uint8_t* map = out.data() + ibHnpm;
  ndb::le::put<uint16_t>(map, static_cast<uint16_t>(page.starts.size()));
  for (size_t i = 0; i < page.starts.size(); ++i) ndb::le::put<uint16_t>(map + 4 + 2 * i, page.starts[i]);
  ndb::le::put<uint16_t>(map + 4 + 2 * page.starts.size(), static_cast<uint16_t>(page.data.size()));

  auto freeOf = [&](size_t block) { return kHeapBlockSize - finishedSizeOf(block); };
  auto putLevels = [&](uint8_t* levels, size_t first, size_t count) {
    for (size_t b = first; b < first + count && b < pages_.size(); ++b) {
      const uint8_t level = fillLevel(freeOf(b));
      const size_t k = b - first;
      levels[k / 2] |= static_cast<uint8_t>(k % 2 ? level << 4 : level);
    }
  };
  if (index == 0) {
    out[2] = kHeapSignature;
    out[3] = clientSignature_;
    ndb::le::put<uint32_t>(out.data() + 4, userRoot_);
    putLevels(out.data() + 8, 0, 8);
  } else if (isBitmapBlock(index)) {
    putLevels(out.data() + 2, index, 128);
  }
  return out;
}

size_t HeapWriter::finishedSizeOf(size_t index) const {
  const Page& page = pages_[index];
  return page.bid != 0 ? page.finished : finishedSize(page.data.size(), page.starts.size());
}

void HeapWriter::writePage(size_t index, ndb::NdbWriter& writer) {
  Bytes out = finishPage(index);
  // As Outlook does: every block but the last fills its data block, the slack after the map.
  if (index + 1 < pages_.size()) out.resize(kHeapBlockSize, 0);
  Page& page = pages_[index];
  page.finished = static_cast<uint16_t>(finishedSizeOf(index));
  page.bid = writer.writeBlock(out);
  writtenBytes_ += out.size();
  Bytes().swap(page.data);
  std::vector<uint16_t>().swap(page.starts);
}

// Called when a page has just started: the one before it is final, and so is the bitmap block
// whose 128 blocks that one completed.
void HeapWriter::streamFinalPages() {
  const size_t started = pages_.size() - 1;
  if (started < 2) return;
  if (!isBitmapBlock(started - 1)) writePage(started - 1, *stream_);
  if (started >= 128 && isBitmapBlock(started - 128)) writePage(started - 128, *stream_);
}

std::vector<Bytes> HeapWriter::pages() const {
  for (const Page& page : pages_)
    if (page.bid != 0) throw Error("Internal error: the heap has already written some of its pages");
  std::vector<Bytes> out;
  if (pages_.empty()) {
    // An empty heap still has its header block.
    HeapWriter copy(*this);
    copy.pages_.push_back({Bytes(12, 0), {}});
    return copy.pages();
  }
  out.reserve(pages_.size());
  for (size_t i = 0; i < pages_.size(); ++i) {
    out.push_back(finishPage(i));
    // As Outlook does: every block but the last fills its data block, the slack after the map.
    if (i + 1 < pages_.size()) out.back().resize(kHeapBlockSize, 0);
  }
  return out;
}

Bid HeapWriter::write(ndb::NdbWriter& writer) {
  if (stream_ && stream_ != &writer) throw Error("Internal error: a streaming heap written to another file");
  if (pages_.empty()) {
    const Bytes page = pages().front();
    const Bid bid = writer.writeBlock(page);
    return writer.writeDataTree({&bid, 1}, page.size());
  }
  // Every allocation, and so every fill level, is known now.
  for (size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].bid == 0) writePage(i, writer);
  std::vector<Bid> bids;
  bids.reserve(pages_.size());
  for (const Page& page : pages_) bids.push_back(page.bid);
  return writer.writeDataTree(bids, writtenBytes_);
}

uint32_t storeVariableValue(HeapWriter& heap, SubnodeBuilder& subnodes, ndb::NdbWriter& writer,
                            std::span<const uint8_t> value) {
  if (value.empty()) return 0;
  if (value.size() <= kMaxHeapItem) return heap.add(value);
  const Nid nid = subnodes.allocate(NidType::Ltp);
  subnodes.add(nid, writer.writeData(value));
  return nid;
}

}  // namespace pst::ltp
