#include "pst/ltp/heap_reader.h"

#include "pst/ndb/le.h"

namespace pst::ltp {
namespace {

using ndb::le::u16;
using ndb::le::u32;

std::string at(size_t block) { return "heap block " + std::to_string(block) + ": "; }

}  // namespace

bool looksLikeHeap(std::span<const uint8_t> b) { return b.size() >= 12 && b[2] == kHeapSignature; }

HeapReader::HeapReader(std::vector<Bytes> blocks, Problems& problems) {
  if (blocks.empty() || !looksLikeHeap(blocks.front())) throw Error("no heap-on-node signature (0xEC) in the first block");
  if (blocks.size() > kMaxHeapBlocks) throw Error("heap of more than 65,536 blocks");
  const Bytes& first = blocks.front();
  clientSignature_ = first[3];
  userRoot_ = u32(first.data() + 4);
  blocks_.reserve(blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    Block b{std::move(blocks[i]), {}};
    const size_t header = heapBlockHeaderSize(i);
    if (b.data.size() < header + 4) throw Error(at(i) + "shorter than its header and page map");
    const size_t ibHnpm = u16(b.data.data());
    if (ibHnpm < header || ibHnpm + 4 > b.data.size()) throw Error(at(i) + "page map offset out of range");
    if (ibHnpm % 2) problems.push_back(at(i) + "page map not 2-byte aligned");
    const size_t cAlloc = u16(b.data.data() + ibHnpm);
    if (ibHnpm + 4 + 2 * (cAlloc + 1) > b.data.size()) throw Error(at(i) + "page map runs past the block");
    // Outlook pads every block but the last to the full block size after the map.
    b.mapEnd = ibHnpm + 4 + 2 * (cAlloc + 1);
    for (size_t k = 0; k <= cAlloc; ++k) b.starts.push_back(u16(b.data.data() + ibHnpm + 4 + 2 * k));
    for (size_t k = 0; k <= cAlloc; ++k) {
      if (b.starts[k] < header || b.starts[k] > ibHnpm) throw Error(at(i) + "item offset outside the block's items");
      if (k > 0 && b.starts[k] < b.starts[k - 1]) throw Error(at(i) + "item offsets out of order");
      if (k > 0 && static_cast<size_t>(b.starts[k] - b.starts[k - 1]) > kMaxHeapItem)
        problems.push_back(at(i) + "item " + std::to_string(k - 1) + " larger than 3,580 bytes");
    }
    if (ibHnpm - b.starts[cAlloc] > 1) problems.push_back(at(i) + "gap between the last item and the page map");
    blocks_.push_back(std::move(b));
  }
  // Fill levels: block 0 covers blocks 0-7, each bitmap block the 128 blocks from itself.
  auto checkLevels = [&](size_t holder, const uint8_t* levels, size_t first, size_t count) {
    for (size_t k = 0; k < count && first + k < blocks_.size(); ++k) {
      const uint8_t declared = (levels[k / 2] >> (k % 2 ? 4 : 0)) & 0x0F;
      const size_t used = blocks_[first + k].mapEnd;
      const uint8_t actual = fillLevel(used >= kHeapBlockSize ? 0 : kHeapBlockSize - used);
      // A heap may declare a block fuller than it is, but not emptier: writers pick blocks by it.
      // Outlook's levels lag one step behind on nearly full blocks, so one level is tolerated.
      if (declared + 1 < actual)
        problems.push_back(at(holder) + "fill level " + std::to_string(declared) + " of block " +
                           std::to_string(first + k) + " should be " + std::to_string(actual));
    }
  };
  checkLevels(0, blocks_[0].data.data() + 8, 0, 8);
  for (size_t i = 8; i < blocks_.size(); i += 128) checkLevels(i, blocks_[i].data.data() + 2, i, 128);
}

size_t HeapReader::itemCount() const {
  size_t n = 0;
  for (const auto& b : blocks_) n += b.starts.size() - 1;
  return n;
}

std::span<const uint8_t> HeapReader::item(Hid hid) const {
  const uint32_t block = hidBlock(hid);
  const int index = hidItem(hid);
  if ((hid & 0x1F) != 0 || block >= blocks_.size() || index < 0 ||
      static_cast<size_t>(index) + 1 >= blocks_[block].starts.size())
    throw Error("HID 0x" + [&] {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%X", hid);
      return std::string(buf);
    }() + " names no heap item");
  const Block& b = blocks_[block];
  return std::span<const uint8_t>(b.data).subspan(b.starts[index], b.starts[index + 1] - b.starts[index]);
}

}  // namespace pst::ltp
