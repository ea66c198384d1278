// Reads a PST's node database: header, NBT, BBT, blocks and data trees.
// Used by the verifier and by tests that read our files back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ndb/bt_page.h"
#include "pst/ndb/header.h"
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

// A page of the BBT or NBT as the reader found it.
struct PageRef {
  uint64_t ib = 0;
  uint64_t bid = 0;
  PageType type = PageType::Bbt;
};

// Reads the node database (header, NBT, BBT, blocks) of a Unicode or ANSI file.
class NdbReader {
 public:
  // Receives each fault found while reading the B-trees: where, and what is wrong.
  using ProblemSink = std::function<void(const std::string& where, const std::string& what)>;

  // Opens the file and reads the header, NBT and BBT; pst::Error when they cannot be parsed.
  explicit NdbReader(const std::filesystem::path& path);
  // The same, but B-tree faults go to `sink` and reading goes on past them; only a file
  // without a usable header still throws.
  NdbReader(const std::filesystem::path& path, ProblemSink sink);
  ~NdbReader();
  NdbReader(const NdbReader&) = delete;
  NdbReader& operator=(const NdbReader&) = delete;

  const Header& header() const;
  Format format() const;
  uint64_t fileSize() const;
  // All BBT entries in key order, and the B-tree pages visited.
  const std::vector<BbtEntry>& blocks() const;
  const BbtEntry* findBlock(Bid bid) const;  // bit 0 of `bid` ignored
  const std::vector<PageRef>& pages() const;

  // One block's data, checked (trailer, CRC) and decoded; pst::Error on any fault.
  Bytes readBlock(Bid bid) const;
  // `size` raw bytes at `ib`; pst::Error past the end of the file.
  Bytes readRaw(uint64_t ib, size_t size) const;

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
