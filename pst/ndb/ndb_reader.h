// Reads a PST's node database: header, NBT, BBT, blocks and data trees.
// Used by the verifier and by tests that read our files back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ndb/ndb_writer.h"
#include "pst/ndb/types.h"

namespace pst::ndb {

// One NBT entry (NBTENTRY).
struct NodeEntry {
  Nid nid = 0;
  Bid data = 0;
  Bid subnodes = 0;
  Nid parent = 0;
};

class NdbReader {
 public:
  // Opens the file and reads the header, NBT and BBT; pst::Error when they cannot be parsed.
  explicit NdbReader(const std::filesystem::path& path);
  ~NdbReader();

  // All NBT entries in key order.
  const std::vector<NodeEntry>& nodes() const;
  const NodeEntry* findNode(Nid nid) const;

  // The data tree under `bid`, decoded: one element per data block, in order.
  std::vector<Bytes> readDataBlocks(Bid bid) const;
  // The same, concatenated.
  Bytes readData(Bid bid) const;
  // The subnode tree under `bid`, flattened (SLENTRYs; NIDs masked to their low 32 bits).
  std::vector<SubnodeEntry> readSubnodes(Bid bid) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pst::ndb
