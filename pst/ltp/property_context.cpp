#include "pst/ltp/property_context.h"

#include <algorithm>
#include <vector>

#include "pst/ltp/bth_writer.h"
#include "pst/ltp/heap_writer.h"
#include "pst/ltp/value_codec.h"
#include "pst/ndb/le.h"

namespace pst::ltp {

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

  HeapWriter heap(kClientPc);
  const Hid header = heap.allocate(8);
  heap.setUserRoot(header);
  Bytes records(sorted.size() * 8);
  for (size_t i = 0; i < sorted.size(); ++i) {
    const PropTag tag = sorted[i]->tag;
    const PropType type = tagType(tag);
    if (!isKnownType(type)) throw Error("property " + tagText(tag) + " has a type this writer does not store");
    const Bytes value = encodeValue(tag, sorted[i]->value);
    uint32_t hnid = 0;
    if (const size_t fixed = fixedSize(type); fixed != 0 && fixed <= 4) {
      for (size_t k = 0; k < value.size(); ++k) hnid |= static_cast<uint32_t>(value[k]) << (8 * k);
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
