#include "pst/ltp/bth_writer.h"

#include <deque>
#include <string>
#include <vector>

#include "pst/ndb/le.h"

namespace pst::ltp {

uint8_t writeBth(HeapWriter& heap, Hid header, BthShape shape, std::span<const uint8_t> records) {
  const size_t recordSize = size_t{shape.keySize} + shape.dataSize;
  if (records.size() % recordSize != 0) throw Error("BTH records are not whole records");
  uint8_t* head = heap.item(header).data();
  head[0] = kClientBth;
  head[1] = shape.keySize;
  head[2] = shape.dataSize;
  head[3] = 0;
  ndb::le::put<uint32_t>(head + 4, 0);
  if (records.empty()) return 0;

  // Each level is a list of (first key, HID) of its nodes; the level above indexes it.
  struct NodeRef {
    std::span<const uint8_t> firstKey;
    Hid hid;
  };
  std::vector<NodeRef> level;
  const size_t perLeaf = kMaxHeapItem / recordSize;
  for (size_t off = 0; off < records.size(); off += perLeaf * recordSize) {
    const auto chunk = records.subspan(off, std::min(perLeaf * recordSize, records.size() - off));
    level.push_back({chunk.first(shape.keySize), heap.add(chunk)});
  }
  uint8_t indexLevels = 0;
  const size_t indexSize = size_t{shape.keySize} + 4;
  const size_t perIndex = kMaxHeapItem / indexSize;
  std::deque<Bytes> keyStore;  // first keys of index nodes; a deque keeps them in place
  while (level.size() > 1) {
    std::vector<NodeRef> above;
    for (size_t i = 0; i < level.size(); i += perIndex) {
      const size_t n = std::min(perIndex, level.size() - i);
      Bytes node(n * indexSize);
      for (size_t k = 0; k < n; ++k) {
        std::copy(level[i + k].firstKey.begin(), level[i + k].firstKey.end(), node.begin() + k * indexSize);
        ndb::le::put<uint32_t>(node.data() + k * indexSize + shape.keySize, level[i + k].hid);
      }
      keyStore.emplace_back(level[i].firstKey.begin(), level[i].firstKey.end());
      above.push_back({std::span<const uint8_t>(), heap.add(node)});
    }
    // Point the new level's keys at storage that outlives this iteration.
    for (size_t j = 0; j < above.size(); ++j) above[j].firstKey = keyStore[keyStore.size() - above.size() + j];
    level = std::move(above);
    ++indexLevels;
  }
  head = heap.item(header).data();  // allocations may have moved the heap's pages
  head[3] = indexLevels;
  ndb::le::put<uint32_t>(head + 4, level.front().hid);
  return indexLevels;
}

}  // namespace pst::ltp
