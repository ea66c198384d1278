// A NodeSource over a node (or subnode) of a file read by the NDB reader.
#pragma once

#include "pst/ltp/node_source.h"
#include "pst/ndb/ndb_reader.h"

namespace pst::ltp {

// `subnodes` is the node's subnode tree (0 for none). Blocks are read when this is called;
// subnodes when they are asked for.
NodeSource nodeSource(const ndb::NdbReader& reader, Bid data, Bid subnodes);

}  // namespace pst::ltp
