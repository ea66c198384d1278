// The node database writer: appends blocks as they are produced and, at finish(),
// writes the BBT and NBT, the allocation maps and the header.
//
// Memory holds only index entries (one per block and per node), never block contents.
#pragma once

#include <array>
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

  // Indexes stay below 2^26, so that every NID, read as the signed 32-bit row id of a table,
  // is positive.
  static constexpr uint32_t kNidIndexLimit = 1u << 26;

  // Next unused index for NIDs of `type`, counted up as Outlook does (kept in the header's
  // rgnid, which always ends at or above every index of its type in the file, subnodes included).
  Nid allocateNid(NidType type);
  // Sets aside `count` consecutive indexes of `type` above every one used so far, for a caller
  // that numbers a group of nodes itself (see Store::expectMessages); returns the lowest.
  // Nonzero `count` only.
  uint32_t reserveNids(NidType type, uint32_t count);

  // The writer's state before a group of writes that may have to be undone.
  struct Mark {
    uint64_t pos = 0, region = 0, freeBytes = 0, dataBytes = 0, nextBid = 0;
    size_t regionsDone = 0, blocks = 0, nodes = 0, earlierReferences = 0;
    std::array<uint32_t, 32> rgnid{};
    std::array<uint8_t, 496> bits{};
  };
  Mark mark();
  // Forgets every block, node, reference and id added since `mark`, as if they had never been
  // written: their space is free again, their BIDs and ids are handed out anew, and the file
  // holds no trace of them once complete. For a message refused part way through its writing.
  void rollback(const Mark& mark);

  // A new value of the header's dwUnique counter (Outlook derives row versions from it).
  // The header finally stores a value above every one handed out.
  uint32_t nextUnique();

  // Writes the B-trees, maps and header and closes the file. No further calls after this.
  void finish();

  // Bytes written so far (the file offset of the next block).
  uint64_t size() const;
  // Blocks and nodes indexed so far: each takes an entry in a B-tree when the file completes.
  size_t indexEntries() const;

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
