// Collects the subnodes of one node (its SLBLOCK/SIBLOCK tree) while the node is built.
#pragma once

#include <vector>

#include "pst/ndb/ndb_writer.h"

namespace pst::ltp {

class SubnodeBuilder {
 public:
  // A NID of `type` that is unique among this node's subnodes.
  Nid allocate(NidType type);
  void add(Nid nid, Bid data, Bid subnodes = 0);
  bool empty() const { return entries_.empty(); }
  // Writes the subnode tree; 0 when there are no subnodes.
  Bid write(ndb::NdbWriter& writer);

 private:
  std::vector<ndb::SubnodeEntry> entries_;
  uint32_t nextIndex_ = 1;
};

}  // namespace pst::ltp
