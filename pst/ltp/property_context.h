// Property context (PC): a BTH of properties on a heap-on-node.
#pragma once

#include <span>

#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"

namespace pst::ltp {

// Writes a PC holding `props` (any order; one value per tag id) and returns the BID of its
// node data. Values too big for the heap (over 3,580 bytes) become subnodes in `subnodes`.
Bid writePropertyContext(ndb::NdbWriter& writer, std::span<const Property> props,
                         SubnodeBuilder& subnodes);

}  // namespace pst::ltp
