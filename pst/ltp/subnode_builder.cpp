#include "pst/ltp/subnode_builder.h"

#include <cstdio>

namespace pst::ltp {

Nid SubnodeBuilder::allocate(NidType type) {
  Nid nid;
  do {
    if (nextIndex_ >= (1u << 27)) throw Error("a node ran out of subnode ids");
    nid = makeNid(type, nextIndex_++);
  } while (used_.count(nid));
  return nid;
}

void SubnodeBuilder::add(Nid nid, Bid data, Bid subnodes) {
  if (!used_.insert(nid).second) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "subnode 0x%X added twice to one node", nid);
    throw Error(buf);
  }
  entries_.push_back({nid, data, subnodes});
}

Bid SubnodeBuilder::write(ndb::NdbWriter& writer) {
  if (entries_.empty()) return 0;
  return writer.writeSubnodeTree(entries_);
}

}  // namespace pst::ltp
