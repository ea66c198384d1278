// The stored size of a property context before it is written: a message's PidTagMessageSize
// counts its own property context, which therefore cannot be written first and measured.
// The context's heap is built in memory exactly as the writer builds it, and its pages and the
// values that go to subnodes are counted.
#pragma once

#include <span>

#include "pst/ltp/property.h"

namespace pst::messaging {

// Bytes of node data and value subnodes that ltp::writePropertyContext produces for `props`.
uint64_t storedPropertyContextSize(std::span<const Property> props);

}  // namespace pst::messaging
