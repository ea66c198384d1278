#include "pst/ltp/bth_reader.h"

#include <algorithm>

#include "pst/ndb/le.h"

namespace pst::ltp {

int compareKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  for (size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

namespace {

struct Walker {
  const HeapReader& heap;
  BthShape shape;
  Problems& problems;
  BthContents& out;
  size_t visited = 0;

  // Reads the node `hid` at `level` (0 = leaf); returns its first key.
  Bytes walk(Hid hid, int level) {
    if (++visited > heap.itemCount()) throw Error("BTH visits more nodes than the heap holds (a loop)");
    const auto node = heap.item(hid);
    const size_t entry = level == 0 ? size_t{shape.keySize} + shape.dataSize : size_t{shape.keySize} + 4;
    if (node.empty() || node.size() % entry) {
      problems.push_back("BTH node at HID " + std::to_string(hid) + " is not a whole number of records");
      if (node.size() < entry) return {};
    }
    const size_t n = node.size() / entry;
    Bytes first(node.begin(), node.begin() + shape.keySize);
    for (size_t i = 0; i < n; ++i) {
      const auto rec = node.subspan(i * entry, entry);
      const auto key = rec.first(shape.keySize);
      if (level == 0) {
        const size_t size = size_t{shape.keySize} + shape.dataSize;
        if (out.records.size() >= size &&
            compareKeys(std::span<const uint8_t>(out.records).subspan(out.records.size() - size, shape.keySize), key) >= 0)
          problems.push_back("BTH keys out of order or repeated");
        out.records.insert(out.records.end(), rec.begin(), rec.end());
      } else {
        const Hid child = ndb::le::u32(rec.data() + shape.keySize);
        const Bytes childFirst = walk(child, level - 1);
        if (!childFirst.empty() && compareKeys(childFirst, key) != 0)
          problems.push_back("BTH index key differs from the first key of its child");
      }
    }
    return first;
  }
};

}  // namespace

BthContents readBth(const HeapReader& heap, Hid header, Problems& problems) {
  const auto h = heap.item(header);
  if (h.size() != 8) throw Error("BTH header is not 8 bytes");
  if (h[0] != kClientBth) throw Error("BTH header signature is not 0xB5");
  BthContents out;
  out.shape = {h[1], h[2]};
  out.indexLevels = h[3];
  if (h[1] != 2 && h[1] != 4 && h[1] != 8 && h[1] != 16) throw Error("BTH key size is not 2, 4, 8 or 16");
  if (h[2] == 0 || h[2] > 32) throw Error("BTH data size is not 1 to 32");
  if (out.indexLevels > 8) throw Error("BTH claims more than 8 index levels");
  const Hid root = ndb::le::u32(h.data() + 4);
  if (root == 0) return out;
  Walker w{heap, out.shape, problems, out};
  w.walk(root, out.indexLevels);
  return out;
}

}  // namespace pst::ltp
