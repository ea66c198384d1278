// What the LTP readers need of one node: its data blocks and a way to reach its subnodes.
#pragma once

#include <functional>
#include <vector>

#include "pst/ltp/heap_reader.h"

namespace pst::ltp {

struct NodeSource {
  std::vector<Bytes> blocks;
  // The data blocks of a subnode of this node; pst::Error when there is no such subnode.
  std::function<std::vector<Bytes>(Nid)> subnodeBlocks;
};

// The bytes a HNID names: nothing for 0, a heap item for a HID, else a subnode's data.
Bytes fetchHnid(const HeapReader& heap, const NodeSource& source, uint32_t hnid);

}  // namespace pst::ltp
