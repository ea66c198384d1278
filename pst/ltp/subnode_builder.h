// Collects the subnodes of one node (its SLBLOCK/SIBLOCK tree) while the node is built.
#pragma once

#include <unordered_set>
#include <vector>

#include "pst/ndb/ndb_writer.h"

namespace pst::ltp {

class SubnodeBuilder {
 public:
  // A NID of `type` that is unique among this node's subnodes.
  Nid allocate(NidType type);
  // pst::Error when `nid` is already a subnode of this node (a second one would hide the first).
  void add(Nid nid, Bid data, Bid subnodes = 0);
  bool empty() const { return entries_.empty(); }
  // Writes the subnode tree; 0 when there are no subnodes.
  Bid write(ndb::NdbWriter& writer);

 private:
  std::vector<ndb::SubnodeEntry> entries_;
  std::unordered_set<Nid> used_;
  // Outlook numbers a node's own subnodes from 0x400 on, clear of the fixed table NIDs.
  uint32_t nextIndex_ = 0x400;
};

}  // namespace pst::ltp
