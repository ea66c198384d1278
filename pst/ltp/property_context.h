// Property context (PC): a BTH of properties on a heap-on-node.
#pragma once

#include <span>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"

namespace pst::ltp {

// Outlook keeps a property context's heap in one block and moves values over about 1 KB to
// subnodes of their own (its largest heap value in the reference files is 809 bytes, its
// smallest subnode value 1,098).
constexpr size_t kMaxPcHeapValue = 1024;

// Which values go to subnodes, given the stored size of each of `count` properties in tag-id
// order (0 for a value kept in its record or empty): those over kMaxPcHeapValue, then the
// largest of the rest until the heap fits one block. The writer and the size meter share it.
std::vector<bool> valuesInSubnodes(std::span<const size_t> heapSizes);

// Writes a PC holding `props` (any order; one value per tag id) and returns the BID of its
// node data. Values placed by valuesInSubnodes become subnodes in `subnodes` (for a PC that
// is itself a subnode, such as an attachment, the builder of its own subnode tree).
// pst::Error for two values of one id, a value of the wrong kind or a type property.h lacks.
Bid writePropertyContext(ndb::NdbWriter& writer, std::span<const Property> props,
                         SubnodeBuilder& subnodes);

}  // namespace pst::ltp
