#include "pst/ltp/ndb_node_source.h"

#include <cstdio>
#include <memory>
#include <unordered_map>

namespace pst::ltp {

NodeSource nodeSource(const ndb::NdbReader& reader, Bid data, Bid subnodes) {
  NodeSource s;
  s.blocks = data ? reader.readDataBlocks(data) : std::vector<Bytes>{};
  if (subnodes) {
    auto map = std::make_shared<std::unordered_map<Nid, Bid>>();
    for (const auto& e : reader.readSubnodes(subnodes)) map->emplace(e.nid, e.data);
    s.subnodeBlocks = [&reader, map](Nid nid) {
      const auto it = map->find(nid);
      if (it == map->end()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "subnode 0x%X is missing", nid);
        throw Error(buf);
      }
      return reader.readDataBlocks(it->second);
    };
  }
  return s;
}

}  // namespace pst::ltp
