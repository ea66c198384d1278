// Reads a property context back into properties.
#pragma once

#include "pst/ltp/node_source.h"

namespace pst::ltp {

// The properties in tag id order. pst::Error when the node is no PC; a value that cannot be
// read is left out and named in `problems`. Values of types property.h does not list come back
// as their raw bytes.
std::vector<Property> readPropertyContext(const NodeSource& source, Problems& problems);

// Where a PC keeps its values, for the checks of what Outlook writes.
struct PcPlacement {
  size_t heapBlocks = 0;
  size_t largestHeapValue = 0;  // bytes of the largest value kept in the heap
  PropTag largestHeapTag = 0;
};
std::vector<Property> readPropertyContext(const NodeSource& source, Problems& problems, PcPlacement& placement);

}  // namespace pst::ltp
