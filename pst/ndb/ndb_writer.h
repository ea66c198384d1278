// The node database writer: appends blocks as they are produced and, at finish(),
// writes the BBT and NBT, the allocation maps and the header.
//
// Memory holds only index entries (one per block and per node), never block contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "pst/ndb/types.h"

namespace pst::ndb {

// One entry of a subnode tree (SLENTRY).
struct SubnodeEntry {
  Nid nid = 0;
  Bid data = 0;
  Bid subnodes = 0;  // 0 when the subnode has none
};

class NdbWriter {
 public:
  // Creates `path`; fails with pst::Error if it exists already (never overwrites). With
  // `adopted`, writes through that descriptor of an empty file the caller created as `path`.
  explicit NdbWriter(const std::filesystem::path& path, int adopted = -1);
  ~NdbWriter();
  NdbWriter(const NdbWriter&) = delete;
  NdbWriter& operator=(const NdbWriter&) = delete;

  static constexpr size_t kMaxBlockData = 8176;

  // One external data block of at most kMaxBlockData bytes, encoded with the file's crypt method.
  Bid writeBlock(std::span<const uint8_t> data);

  // Node data of any size: one data block, or data blocks joined by an XBLOCK or XXBLOCK.
  Bid writeData(std::span<const uint8_t> data);

  // A data tree over blocks already written with writeBlock (for example the pages of a heap,
  // which must each stay one block). One BID is returned as it is; more get an XBLOCK/XXBLOCK.
  // `totalSize` is the sum of the blocks' sizes.
  Bid writeDataTree(std::span<const Bid> blocks, uint64_t totalSize);

  // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs). Entries need not be sorted.
  // Returns 0 for no entries.
  Bid writeSubnodeTree(std::vector<SubnodeEntry> entries);

  // Adds a node to the NBT. `subnodes` may be 0. `parent` is the parent folder, or 0.
  void addNode(Nid nid, Bid data, Bid subnodes, Nid parent);

  // Shares an existing block with one more reference (as Outlook does for template tables).
  void addReference(Bid bid);

  // Next unused index for top-level NIDs of `type` (kept in the header's rgnid).
  Nid allocateNid(NidType type);

  // Indexes of `type` counted down from 2^26, for nodes added in great numbers under many
  // parents. libpst and libpff build their folder tree by searching it depth-first for each
  // node's parent, in node-id order; numbering the nodes of later folders lower keeps those
  // searches short (see Store::expectMessages, the main user, through the ranges below).
  // rgnid moves to the top of the range, so later allocations go above it.
  Nid allocateNidDownward(NidType type);
  // Sets aside `count` consecutive indexes of `type` from the same downward count, for a
  // caller that numbers a group of nodes itself; returns the lowest. Nonzero `count` only.
  uint32_t reserveNidsDownward(NidType type, uint32_t count);

  // A new value of the header's dwUnique counter (Outlook derives row versions from it).
  // The header finally stores a value above every one handed out.
  uint32_t nextUnique();

  // Writes the B-trees, maps and header and closes the file. No further calls after this.
  void finish();

  // Bytes written so far (the file offset of the next block).
  uint64_t size() const;

  // Sum of the sizes of all data blocks written so far (not counting internal blocks). The
  // difference across the writing of one object is the object's stored size.
  uint64_t dataBytesWritten() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Streams node data of unknown length: blocks go to disk as they fill.
class DataTreeWriter {
 public:
  explicit DataTreeWriter(NdbWriter& writer);
  void append(std::span<const uint8_t> data);
  // Returns the root BID (0 for no data) and the total size.
  Bid finish();
  uint64_t size() const { return total_; }

 private:
  NdbWriter& writer_;
  std::vector<uint8_t> pending_;
  std::vector<Bid> blocks_;
  uint64_t total_ = 0;
};

}  // namespace pst::ndb
