// Builds a heap-on-node in memory, one page per data block, and writes it as node data.
#pragma once

#include <span>
#include <vector>

#include "pst/ltp/hid.h"
#include "pst/ltp/property.h"
#include "pst/ltp/subnode_builder.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::ltp {

class HeapWriter {
 public:
  explicit HeapWriter(uint8_t clientSignature);

  // A new item of `size` bytes (at most kMaxHeapItem), zero-filled. Items never span blocks.
  // Size 0 is not an item: callers store HNID 0 for empty values.
  Hid allocate(size_t size);
  Hid add(std::span<const uint8_t> bytes);
  // The bytes of an item, for filling it in after allocation.
  std::span<uint8_t> item(Hid hid);

  void setUserRoot(Hid hid) { userRoot_ = hid; }
  size_t blockCount() const { return pages_.size(); }

  // Writes every page as one block under a data tree; returns the node data BID.
  Bid write(ndb::NdbWriter& writer) const;
  // The pages as they go to disk (for tests and for the reader's round trips).
  std::vector<Bytes> pages() const;

 private:
  struct Page {
    Bytes data;                    // header + items
    std::vector<uint16_t> starts;  // offset of each item
  };
  Bytes finishPage(size_t index) const;

  uint8_t clientSignature_;
  Hid userRoot_ = 0;
  std::vector<Page> pages_;
};

// Stores a variable-size value where the format puts it and returns its HNID: 0 when empty, a
// heap item up to kMaxHeapItem bytes, otherwise a subnode of its own.
uint32_t storeVariableValue(HeapWriter& heap, SubnodeBuilder& subnodes, ndb::NdbWriter& writer,
                            std::span<const uint8_t> value);

}  // namespace pst::ltp
