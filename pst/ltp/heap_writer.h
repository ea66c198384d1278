// Builds a heap-on-node, one page per data block, and writes it as node data. A streaming heap
// writes each page as soon as it is final, so a table of any size needs only a few pages of memory.
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
  // Streams to `writer`: a page goes to disk once the next page starts, except the pages whose
  // headers carry fill levels of later pages (block 0, and the bitmap blocks 8, 136, ...), which
  // wait until those pages are final. Items of written pages can no longer be reached by item().
  HeapWriter(uint8_t clientSignature, ndb::NdbWriter& writer);

  // A new item of `size` bytes (at most kMaxHeapItem), zero-filled. Items never span blocks.
  // Size 0 is not an item: callers store HNID 0 for empty values.
  Hid allocate(size_t size);
  Hid add(std::span<const uint8_t> bytes);
  // The bytes of an item, for filling it in after allocation.
  std::span<uint8_t> item(Hid hid);

  void setUserRoot(Hid hid) { userRoot_ = hid; }
  size_t blockCount() const { return pages_.size(); }

  // Writes every page not yet written as one block and the data tree over all of them; returns
  // the node data BID. A streaming heap must be given its own writer.
  Bid write(ndb::NdbWriter& writer);
  // The pages as they go to disk (for tests and for the reader's round trips); not for a heap
  // that has already streamed pages out.
  std::vector<Bytes> pages() const;

 private:
  struct Page {
    Bytes data;                    // header + items; released once written
    std::vector<uint16_t> starts;  // offset of each item; released once written
    uint16_t finished = 0;         // size with its map, kept once written
    Bid bid = 0;                   // once written
  };
  Bytes finishPage(size_t index) const;
  size_t finishedSizeOf(size_t index) const;
  void writePage(size_t index, ndb::NdbWriter& writer);
  void streamFinalPages();

  uint8_t clientSignature_;
  ndb::NdbWriter* stream_ = nullptr;
  Hid userRoot_ = 0;
  std::vector<Page> pages_;
  uint64_t writtenBytes_ = 0;
};

// Stores a variable-size value where the format puts it and returns its HNID: 0 when empty, a
// heap item up to kMaxHeapItem bytes, otherwise a subnode of its own.
uint32_t storeVariableValue(HeapWriter& heap, SubnodeBuilder& subnodes, ndb::NdbWriter& writer,
                            std::span<const uint8_t> value);

}  // namespace pst::ltp
