#include "pst/messaging/pc_size_meter.h"

#include <algorithm>
#include <vector>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/hid.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/value_codec.h"

namespace pst::messaging {

uint64_t storedPropertyContextSize(std::span<const Property> props) {
  ltp::HeapWriter heap(ltp::kClientPc);
  const ltp::Hid header = heap.allocate(8);
  heap.setUserRoot(header);
  std::vector<const Property*> sorted;
  sorted.reserve(props.size());
  for (const auto& p : props) sorted.push_back(&p);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Property* a, const Property* b) { return tagId(a->tag) < tagId(b->tag); });
  uint64_t subnodeBytes = 0;
  // Only the record count and the heap items shape the heap; record contents do not.
  Bytes records(sorted.size() * 8);
  std::vector<size_t> heapSizes(sorted.size(), 0);
  std::vector<Bytes> small(sorted.size());
  for (size_t i = 0; i < sorted.size(); ++i) {
    const PropType type = tagType(sorted[i]->tag);
    const size_t fixed = ltp::fixedSize(type);
    if (fixed != 0 && fixed <= 4) continue;
    Bytes value = ltp::encodeValue(sorted[i]->tag, sorted[i]->value);
    heapSizes[i] = value.size();
    if (value.size() <= ltp::kMaxPcHeapValue) small[i] = std::move(value);
  }
  const std::vector<bool> toSubnodes = ltp::valuesInSubnodes(heapSizes);
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (heapSizes[i] == 0) continue;
    if (toSubnodes[i]) {
      subnodeBytes += heapSizes[i];
    } else {
      heap.add(small[i]);
    }
  }
  // Distinct keys keep the BTH writer's order check content.
  for (size_t i = 0; i < sorted.size(); ++i) {
    records[8 * i] = static_cast<uint8_t>(i);
    records[8 * i + 1] = static_cast<uint8_t>(i >> 8);
  }
  ltp::writeBth(heap, header, {2, 6}, records);
  uint64_t heapBytes = 0;
  for (const auto& page : heap.pages()) heapBytes += page.size();
  return heapBytes + subnodeBytes;
}

}  // namespace pst::messaging
