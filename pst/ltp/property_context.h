// Property context (PC): a BTH of properties on a heap-on-node.
#pragma once

#include <span>

#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"

namespace pst::ltp {

// Writes a PC holding `props` (any order; one value per tag id) and returns the BID of its
// node data. Values too big for the heap (over 3,580 bytes) become subnodes in `subnodes`
// (for a PC that is itself a subnode, such as an attachment, the builder of its own subnode tree).
// pst::Error for two values of one id, a value of the wrong kind or a type property.h lacks.
Bid writePropertyContext(ndb::NdbWriter& writer, std::span<const Property> props,
                         SubnodeBuilder& subnodes);

}  // namespace pst::ltp
