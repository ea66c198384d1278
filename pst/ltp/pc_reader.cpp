#include "pst/ltp/pc_reader.h"

#include "pst/ltp/bth_reader.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

Bytes fetchHnid(const HeapReader& heap, const NodeSource& source, uint32_t hnid) {
  if (hnid == 0) return {};
  if (isHid(hnid)) {
    const auto item = heap.item(hnid);
    return Bytes(item.begin(), item.end());
  }
  if (!source.subnodeBlocks) throw Error("value in a subnode, but the node has no subnodes");
  Bytes out;
  for (const auto& block : source.subnodeBlocks(hnid)) out.insert(out.end(), block.begin(), block.end());
  return out;
}

std::vector<Property> readPropertyContext(const NodeSource& source, Problems& problems) {
  PcPlacement placement;
  return readPropertyContext(source, problems, placement);
}

std::vector<Property> readPropertyContext(const NodeSource& source, Problems& problems, PcPlacement& placement) {
  const HeapReader heap(source.blocks, problems);
  placement.heapBlocks = source.blocks.size();
  if (heap.clientSignature() != kClientPc) throw Error("heap is no property context (client signature not 0xBC)");
  const BthContents bth = readBth(heap, heap.userRoot(), problems);
  if (bth.shape.keySize != 2 || bth.shape.dataSize != 6)
    throw Error("property context BTH has key/data sizes other than 2/6");
  std::vector<Property> out;
  out.reserve(bth.count());
  for (size_t i = 0; i < bth.count(); ++i) {
    const auto r = bth.record(i);
    const PropTag tag = (static_cast<uint32_t>(ndb::le::u16(r.data())) << 16) | ndb::le::u16(r.data() + 2);
    const uint32_t hnid = ndb::le::u32(r.data() + 4);
    const PropType type = tagType(tag);
    if (!isKnownType(type)) {
      // Types this layer never writes come back as their raw bytes, for checks and dumps.
      try {
        Bytes raw(4);
        ndb::le::put<uint32_t>(raw.data(), hnid);
        if (otherTypeByReference(static_cast<uint16_t>(type))) raw = fetchHnid(heap, source, hnid);
        out.push_back({tag, raw});
      } catch (const Error& e) {
        problems.push_back("property " + tagText(tag) + ": " + e.what());
      }
      continue;
    }
    try {
      const size_t fixed = fixedSize(type);
      Bytes raw;
      if (fixed != 0 && fixed <= 4) {
        raw.resize(4);
        ndb::le::put<uint32_t>(raw.data(), hnid);
        raw.resize(fixed);
      } else {
        raw = fetchHnid(heap, source, hnid);
        if (hnid != 0 && isHid(hnid) && raw.size() > placement.largestHeapValue) {
          placement.largestHeapValue = raw.size();
          placement.largestHeapTag = tag;
        }
      }
      out.push_back({tag, decodeValue(tag, raw)});
    } catch (const Error& e) {
      problems.push_back("property " + tagText(tag) + ": " + e.what());
    }
  }
  return out;
}

}  // namespace pst::ltp
