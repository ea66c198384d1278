#include "pst/ltp/property_context.h"

#include <algorithm>
#include <vector>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/hid.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

std::vector<bool> valuesInSubnodes(std::span<const size_t> heapSizes) {
  std::vector<bool> out(heapSizes.size(), false);
  std::vector<size_t> inHeap;
  // The block: heap header, BTH header and records items, the values, then the page map.
  const size_t recordBytes = 8 * heapSizes.size();
  if (recordBytes > kMaxHeapItem) {
    // More records than one leaf holds: the heap cannot be one block whatever goes where.
    for (size_t i = 0; i < heapSizes.size(); ++i) out[i] = heapSizes[i] > kMaxPcHeapValue;
    return out;
  }
  size_t data = heapBlockHeaderSize(0) + 8 + recordBytes, items = recordBytes ? 2 : 1;
  for (size_t i = 0; i < heapSizes.size(); ++i) {
    if (heapSizes[i] == 0) continue;
    if (heapSizes[i] > kMaxPcHeapValue) {
      out[i] = true;
    } else {
      inHeap.push_back(i);
      data += heapSizes[i];
      ++items;
    }
  }
  std::stable_sort(inHeap.begin(), inHeap.end(), [&](size_t a, size_t b) { return heapSizes[a] > heapSizes[b]; });
  for (size_t i : inHeap) {
    if (data + (data & 1) + 4 + 2 * (items + 1) <= kHeapBlockSize) break;
    out[i] = true;
    data -= heapSizes[i];
    --items;
  }
  return out;
}

Bid writePropertyContext(ndb::NdbWriter& writer, std::span<const Property> props, SubnodeBuilder& subnodes) {
  std::vector<const Property*> sorted;
  sorted.reserve(props.size());
  for (const auto& p : props) sorted.push_back(&p);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Property* a, const Property* b) { return tagId(a->tag) < tagId(b->tag); });
  for (size_t i = 1; i < sorted.size(); ++i)
    if (tagId(sorted[i]->tag) == tagId(sorted[i - 1]->tag))
      throw Error("properties " + tagText(sorted[i - 1]->tag) + " and " + tagText(sorted[i]->tag) +
                  " share one id: a property context holds one value per id");

  std::vector<Bytes> values(sorted.size());
  std::vector<size_t> heapSizes(sorted.size(), 0);
  for (size_t i = 0; i < sorted.size(); ++i) {
    const PropTag tag = sorted[i]->tag;
    const PropType type = tagType(tag);
    if (!isKnownType(type)) throw Error("property " + tagText(tag) + " has a type this writer does not store");
    values[i] = encodeValue(tag, sorted[i]->value);
    if (const size_t fixed = fixedSize(type); fixed == 0 || fixed > 4) heapSizes[i] = values[i].size();
    // Large values are encoded again when written, so that only one is in memory at a time.
    if (heapSizes[i] > kMaxPcHeapValue) Bytes().swap(values[i]);
  }
  const std::vector<bool> toSubnodes = valuesInSubnodes(heapSizes);

  HeapWriter heap(kClientPc);
  const Hid header = heap.allocate(8);
  heap.setUserRoot(header);
  Bytes records(sorted.size() * 8);
  for (size_t i = 0; i < sorted.size(); ++i) {
    const PropTag tag = sorted[i]->tag;
    const PropType type = tagType(tag);
    const Bytes value = heapSizes[i] > kMaxPcHeapValue ? encodeValue(tag, sorted[i]->value) : std::move(values[i]);
    uint32_t hnid = 0;
    if (const size_t fixed = fixedSize(type); fixed != 0 && fixed <= 4) {
      for (size_t k = 0; k < value.size(); ++k) hnid |= static_cast<uint32_t>(value[k]) << (8 * k);
    } else if (toSubnodes[i]) {
      hnid = subnodes.allocate(NidType::Ltp);
      subnodes.add(hnid, writer.writeData(value));
    } else {
      hnid = storeVariableValue(heap, subnodes, writer, value);
    }
    uint8_t* r = records.data() + 8 * i;
    ndb::le::put<uint16_t>(r, tagId(tag));
    ndb::le::put<uint16_t>(r + 2, static_cast<uint16_t>(type));
    ndb::le::put<uint32_t>(r + 4, hnid);
  }
  writeBth(heap, header, {2, 6}, records);
  return heap.write(writer);
}

}  // namespace pst::ltp
