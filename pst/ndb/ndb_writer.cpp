#include "pst/ndb/ndb_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb/block_index.h"
#include "pst/ndb/block_trailer.h"
#include "pst/ndb/bt_page.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/data_tree_block.h"
#include "pst/ndb/header.h"
#include "pst/ndb/output_file.h"
#include "pst/ndb/page_trailer.h"
#include "pst/ndb/permute.h"
#include "pst/ndb/signature.h"
#include "pst/ndb/subnode_block.h"

namespace pst::ndb {
namespace {

constexpr uint64_t kNoRegion = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kBidStep = 4;

std::array<uint32_t, 32> initialRgnid() {
  std::array<uint32_t, 32> r{};
  r.fill(0x400);
  r[static_cast<size_t>(NidType::SearchFolder)] = 0x4000;
  r[static_cast<size_t>(NidType::NormalMessage)] = 0x10000;
  r[static_cast<size_t>(NidType::AssocMessage)] = 0x8000;
  return r;
}

// An NBT entry while the file is written, in 16 bytes: node ids and parents are 32 bits wide,
// and block BIDs have bit 0 clear and stay below 2^33 (see addNode), so BID / 2 fits 32 bits.
struct NodeRecord {
  uint32_t nid;
  uint32_t parent;
  uint32_t halfData;
  uint32_t halfSubnodes;
};

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

// The file being written, its allocation state and the index entries kept until finish().
struct NdbWriter::Impl {
  Impl(const std::filesystem::path& path, int adopted) : file(path, adopted) {}

  OutputFile file;
  uint64_t pos = kFirstAMap;  // next free byte
  uint64_t region = kNoRegion;
  AMapBits bits;               // of the current region
  uint64_t freeBytes = 0;      // of the completed regions
  std::vector<uint8_t> longestRuns;  // per completed region, for the FMaps
  BlockIndex blocks;
  std::vector<NodeRecord> nodes;
  uint64_t nextBid = kBidStep;
  std::array<uint32_t, 32> rgnid = initialRgnid();
  // References added since the last mark() to blocks written before it, so that a rollback
  // can take them back.
  size_t markedBlocks = 0;
  std::vector<size_t> earlierReferences;
  uint32_t unique = 0;
  uint64_t dataBytes = 0;
  bool finished = false;
  std::vector<uint8_t> scratch = std::vector<uint8_t>(kMaxBlockSize);

  void enterRegion(uint64_t n) {
    region = n;
    bits = AMapBits{};
    const unsigned maps = mapPagesOf(n);
    uint8_t page[kPageSize];
    for (unsigned i = 0; i < 4; ++i) {
      if (!(maps & (1u << i))) continue;
      bits.set(i * kPageSize / kAMapSlot, kPageSize / kAMapSlot);
      const uint64_t ib = regionStart(n) + i * kPageSize;
      // The PMap and FPMap never change, so they are written now; the AMap and FMap wait
      // until their contents are known.
      if (i == 1 || i == 3) {
        buildFullMapPage(page, i == 1 ? PageType::PMap : PageType::FPMap, ib);
        file.write(ib, {page, kPageSize});
      }
    }
    pos = firstFreeInRegion(n);
  }

  void completeRegion() {
    uint8_t page[kPageSize];
    buildAMapPage(page, bits, regionStart(region));
    file.write(regionStart(region), {page, kPageSize});
    freeBytes += bits.freeSlots() * kAMapSlot;
    longestRuns.push_back(static_cast<uint8_t>(std::min<uint64_t>(bits.longestFreeRun(), 255)));
  }

  // Reserves `size` bytes aligned to `align`, never across an AMap region boundary.
  uint64_t allocate(uint64_t size, uint64_t align) {
    if (region == kNoRegion) enterRegion(0);
    pos = alignUp(pos, align);
    if (pos + size > regionStart(region + 1)) {
      completeRegion();
      enterRegion(region + 1);
      pos = alignUp(pos, align);
    }
    const uint64_t ib = pos;
    bits.set((ib - regionStart(region)) / kAMapSlot, size / kAMapSlot);
    pos += size;
    return ib;
  }

  void checkOpen() const {
    if (finished) throw Error("Internal error: the PST file was already completed.");
  }

  Bid putBlock(std::span<const uint8_t> data, bool internal) {
    checkOpen();
    if (data.size() > NdbWriter::kMaxBlockData)
      throw Error("Internal error: block data of " + std::to_string(data.size()) + " bytes exceeds " +
                  std::to_string(NdbWriter::kMaxBlockData) + ".");
    // The block index derives BIDs from places, so a BID is used up only once its block is
    // indexed: a failed write leaves no gap between the two.
    const Bid bid = nextBid | (internal ? kInternalBidBit : 0);
    const uint64_t cb = data.size();
    if (!internal) dataBytes += cb;
    const uint64_t size = blockDiskSize(cb);
    const uint64_t ib = allocate(size, kBlockAlign);
    uint8_t* s = scratch.data();
    if (internal) {
      std::memcpy(s, data.data(), cb);
    } else {
      permuteEncode(data, s);
    }
    std::memset(s + cb, 0, size - cb);
    BlockTrailer t;
    t.cb = static_cast<uint16_t>(cb);
    t.sig = computeSig(ib, bid);
    t.crc = crc32({s, cb});
    t.bid = bid;
    t.write(s + size - kUnicode.blockTrailer);
    file.write(ib, {s, size});
    blocks.add(internal, ib, static_cast<uint16_t>(cb));
    nextBid += kBidStep;
    return bid;
  }

  // The place of the block in `blocks`.
  size_t entry(Bid bid) const {
    const auto index = blocks.find(bid);
    if (!index) throw Error("Internal error: reference to block " + hex(bid) + ", which this file does not hold.");
    return *index;
  }

  void reference(Bid bid) {
    if (bid == 0) return;
    const size_t index = entry(bid);
    if (!blocks.addReference(index))
      throw Error("Internal error: block " + hex(bid) + " is shared by too many nodes.");
    if (index < markedBlocks) earlierReferences.push_back(index);
  }

  // Keeps rgnid at or above every index used, so that ids handed out later never collide.
  void countNid(Nid nid) {
    const size_t t = static_cast<size_t>(nid & 0x1F);
    rgnid[t] = std::max(rgnid[t], nidIndex(nid));
  }

  Bid xblock(std::span<const Bid> children, uint64_t total, uint8_t level) {
    DataTreeBlock x;
    x.level = level;
    x.lcbTotal = static_cast<uint32_t>(total);
    x.bids.assign(children.begin(), children.end());
    for (Bid b : children) reference(b);
    const auto bytes = x.serialize();
    return putBlock(bytes, true);
  }

  // Writes the pages of one B-tree level by level and returns the root.
  // `entryAt(i)` gives the i-th of `count` entries in key order.
  template <typename Leaf, typename EntryAt>
  Bref writeTree(size_t count, const EntryAt& entryAt, size_t leafMax, PageType type,
                 void (*buildLeaf)(uint8_t*, const Leaf*, size_t), uint64_t (*keyOf)(const Leaf&),
                 uint64_t& nextPageBid) {
    uint8_t page[kPageSize];
    std::vector<Leaf> leaf(leafMax);
    std::vector<BtEntry> level;
    auto emit = [&](uint64_t firstKey) {
      const uint64_t bid = nextPageBid++;
      const uint64_t ib = allocate(kPageSize, kPageSize);
      sealPage(page, type, computeSig(ib, bid), bid);
      file.write(ib, {page, kPageSize});
      return BtEntry{firstKey, {bid, ib}};
    };
    size_t i = 0;
    do {
      const size_t n = std::min(leafMax, count - i);
      for (size_t k = 0; k < n; ++k) leaf[k] = entryAt(i + k);
      buildLeaf(page, leaf.data(), n);
      level.push_back(emit(n ? keyOf(leaf[0]) : 0));
      i += n;
    } while (i < count);
    uint8_t depth = 0;
    while (level.size() > 1) {
      ++depth;
      std::vector<BtEntry> upper;
      for (size_t j = 0; j < level.size(); j += kBtInnerMax) {
        const size_t n = std::min(kBtInnerMax, level.size() - j);
        buildBtPage(page, level.data() + j, n, depth);
        upper.push_back(emit(level[j].key));
      }
      level.swap(upper);
    }
    return level.front().child;
  }
};

NdbWriter::NdbWriter(const std::filesystem::path& path, int adopted) : impl_(std::make_unique<Impl>(path, adopted)) {}

NdbWriter::~NdbWriter() {
  // An unfinished file is not a PST; leaving it behind would only mislead.
  if (impl_ && !impl_->finished) impl_->file.discard();
}

Bid NdbWriter::writeBlock(std::span<const uint8_t> data) { return impl_->putBlock(data, false); }

Bid NdbWriter::writeData(std::span<const uint8_t> data) {
  if (data.empty()) return 0;
  if (data.size() <= kMaxBlockData) return writeBlock(data);
  std::vector<Bid> bids;
  bids.reserve((data.size() + kMaxBlockData - 1) / kMaxBlockData);
  for (size_t off = 0; off < data.size(); off += kMaxBlockData)
    bids.push_back(writeBlock(data.subspan(off, std::min(kMaxBlockData, data.size() - off))));
  return writeDataTree(bids, data.size());
}

Bid NdbWriter::writeDataTree(std::span<const Bid> blocks, uint64_t totalSize) {
  Impl& w = *impl_;
  w.checkOpen();
  uint64_t sum = 0;
  for (Bid b : blocks) {
    if (isInternalBid(b)) throw Error("Internal error: a data tree can only join data blocks.");
    sum += w.blocks.cb(w.entry(b));
  }
  if (sum != totalSize)
    throw Error("Internal error: data tree size " + std::to_string(totalSize) + " does not match its blocks (" +
                std::to_string(sum) + ").");
  if (blocks.empty()) return 0;
  if (blocks.size() == 1) return blocks.front();
  if (totalSize > std::numeric_limits<uint32_t>::max())
    throw Error("A single item of " + std::to_string(totalSize) +
                " bytes is too large for a PST file (limit 4 GiB); leave this item out or split it.");
  if (blocks.size() <= kXBlockMaxEntries) return w.xblock(blocks, totalSize, 1);
  if (blocks.size() > kXBlockMaxEntries * kXBlockMaxEntries)
    throw Error("An item is too large for a PST data tree; leave this item out.");
  std::vector<Bid> xblocks;
  for (size_t i = 0; i < blocks.size(); i += kXBlockMaxEntries) {
    const auto part = blocks.subspan(i, std::min(kXBlockMaxEntries, blocks.size() - i));
    uint64_t partSize = 0;
    for (Bid b : part) partSize += w.blocks.cb(w.entry(b));
    xblocks.push_back(w.xblock(part, partSize, 1));
  }
  return w.xblock(xblocks, totalSize, 2);
}

Bid NdbWriter::writeSubnodeTree(std::vector<SubnodeEntry> entries) {
  Impl& w = *impl_;
  w.checkOpen();
  if (entries.empty()) return 0;
  std::sort(entries.begin(), entries.end(), [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
  for (size_t i = 1; i < entries.size(); ++i)
    if (entries[i].nid == entries[i - 1].nid)
      throw Error("Internal error: subnode " + hex(entries[i].nid) + " appears twice in one node.");
  for (const auto& e : entries) {
    w.countNid(e.nid);
    if (e.subnodes != 0 && !isInternalBid(e.subnodes))
      throw Error("Internal error: subnode " + hex(e.nid) + " names a data block as its subnode tree.");
    w.reference(e.data);
    w.reference(e.subnodes);
  }
  auto leaf = [&](size_t first, size_t n) {
    SubnodeBlock b;
    b.level = 0;
    for (size_t i = first; i < first + n; ++i) b.entries.push_back({entries[i].nid, entries[i].data, entries[i].subnodes});
    return w.putBlock(b.serialize(), true);
  };
  if (entries.size() <= kSlBlockMaxEntries) return leaf(0, entries.size());
  if (entries.size() > kSlBlockMaxEntries * kSiBlockMaxEntries)
    throw Error("Internal error: too many subnodes (" + std::to_string(entries.size()) + ") in one node.");
  SubnodeBlock index;
  index.level = 1;
  for (size_t i = 0; i < entries.size(); i += kSlBlockMaxEntries) {
    const Bid child = leaf(i, std::min(kSlBlockMaxEntries, entries.size() - i));
    w.reference(child);
    index.entries.push_back({entries[i].nid, child, 0});
  }
  return w.putBlock(index.serialize(), true);
}

void NdbWriter::addNode(Nid nid, Bid data, Bid subnodes, Nid parent) {
  Impl& w = *impl_;
  w.checkOpen();
  if (subnodes != 0 && !isInternalBid(subnodes))
    throw Error("Internal error: node " + hex(nid) + " names a data block as its subnode tree.");
  if ((data | subnodes) >> 33)
    throw Error("The PST file holds more blocks than this writer can index; split the import into several files.");
  w.reference(data);
  w.reference(subnodes);
  w.nodes.push_back({nid, parent, static_cast<uint32_t>(data >> 1), static_cast<uint32_t>(subnodes >> 1)});
  w.countNid(nid);
}

void NdbWriter::addReference(Bid bid) {
  impl_->checkOpen();
  if (bid == 0) throw Error("Internal error: cannot share block 0.");
  impl_->reference(bid);
}

Nid NdbWriter::allocateNid(NidType type) { return makeNid(type, reserveNids(type, 1)); }

uint32_t NdbWriter::reserveNids(NidType type, uint32_t count) {
  Impl& w = *impl_;
  const size_t t = static_cast<size_t>(type);
  if (count == 0 || count >= kNidIndexLimit - w.rgnid[t])
    throw Error("The PST file has run out of node ids: ids of one kind (messages, folders, attachments) go up to " +
                std::to_string(kNidIndexLimit - 1) + "; split the import into several files.");
  const uint32_t first = w.rgnid[t] + 1;
  w.rgnid[t] += count;
  return first;
}

NdbWriter::Mark NdbWriter::mark() {
  Impl& w = *impl_;
  w.checkOpen();
  w.markedBlocks = w.blocks.size();
  w.earlierReferences.clear();
  Mark m;
  m.pos = w.pos;
  m.region = w.region;
  m.freeBytes = w.freeBytes;
  m.dataBytes = w.dataBytes;
  m.nextBid = w.nextBid;
  m.regionsDone = w.longestRuns.size();
  m.blocks = w.blocks.size();
  m.nodes = w.nodes.size();
  m.rgnid = w.rgnid;
  m.bits = w.bits.bits;
  return m;
}

void NdbWriter::rollback(const Mark& m) {
  Impl& w = *impl_;
  w.checkOpen();
  if (m.blocks != w.markedBlocks || m.blocks > w.blocks.size() || m.nodes > w.nodes.size())
    throw Error("Internal error: a rollback to a mark that is not the last one.");
  for (size_t index : w.earlierReferences) w.blocks.dropReference(index);
  w.earlierReferences.clear();
  w.blocks.truncate(m.blocks);
  w.nodes.resize(m.nodes);
  // Regions completed since the mark are entered again as the file grows anew; their map pages
  // are then written again over the old ones.
  w.pos = m.pos;
  w.region = m.region;
  w.bits.bits = m.bits;
  w.freeBytes = m.freeBytes;
  w.longestRuns.resize(m.regionsDone);
  w.dataBytes = m.dataBytes;
  w.nextBid = m.nextBid;
  w.rgnid = m.rgnid;
}

uint32_t NdbWriter::nextUnique() { return ++impl_->unique; }

uint64_t NdbWriter::dataBytesWritten() const { return impl_->dataBytes; }

uint64_t NdbWriter::size() const { return impl_->region == kNoRegion ? kFirstAMap : impl_->pos; }

size_t NdbWriter::indexEntries() const { return impl_->blocks.size() + impl_->nodes.size(); }

void NdbWriter::finish() {
  Impl& w = *impl_;
  w.checkOpen();
  std::sort(w.nodes.begin(), w.nodes.end(), [](const NodeRecord& a, const NodeRecord& b) { return a.nid < b.nid; });
  for (size_t i = 1; i < w.nodes.size(); ++i)
    if (w.nodes[i].nid == w.nodes[i - 1].nid)
      throw Error("Internal error: node " + hex(w.nodes[i].nid) + " was added twice.");

  // Page BIDs continue above every block BID, so the two never coincide.
  uint64_t nextPageBid = w.nextBid + 1;
  const Bref bbt = w.writeTree<BbtEntry>(
      w.blocks.size(), [&](size_t i) { return w.blocks.at(i); }, kBbtLeafMax, PageType::Bbt, buildBbtLeaf,
      [](const BbtEntry& e) { return e.bid; }, nextPageBid);
  const Bref nbt = w.writeTree<NbtEntry>(
      w.nodes.size(),
      [&](size_t i) {
        const NodeRecord& n = w.nodes[i];
        return NbtEntry{n.nid, uint64_t{n.halfData} << 1, uint64_t{n.halfSubnodes} << 1, n.parent};
      },
      kNbtLeafMax, PageType::Nbt, buildNbtLeaf, [](const NbtEntry& e) { return e.nid; }, nextPageBid);
  w.completeRegion();
  const uint64_t lastRegion = w.region;
  const uint64_t eof = regionStart(lastRegion + 1);

  uint8_t page[kPageSize];
  for (uint64_t n = kFirstFMapRegion; n <= lastRegion; n += kAMapsPerFMap) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kAMapsPerFMap, lastRegion + 1 - n));
    buildFMapPage(page, w.longestRuns.data() + n, count, fmapOffset(n));
    w.file.write(fmapOffset(n), {page, kPageSize});
  }
  const uint64_t dlistBid = nextPageBid++;
  buildDListPage(page, dlistBid);
  w.file.write(kDListOffset, {page, kPageSize});

  Header h;
  h.bidNextB = w.nextBid;
  h.bidNextP = nextPageBid;
  h.unique = w.unique + 1;
  h.rgnid = w.rgnid;
  h.ibFileEof = eof;
  h.ibAMapLast = regionStart(lastRegion);
  h.cbAMapFree = w.freeBytes;
  h.cbPMapFree = 0;
  h.nbt = nbt;
  h.bbt = bbt;
  h.amapValid = Header::kAmapValid2;
  h.cryptMethod = static_cast<uint8_t>(CryptMethod::Permute);
  uint8_t head[Header::kUnicodeSize];
  h.write(head);
  w.file.write(0, head);
  w.file.finish(eof);
  w.finished = true;
}

DataTreeWriter::DataTreeWriter(NdbWriter& writer) : writer_(writer) {}

void DataTreeWriter::append(std::span<const uint8_t> data) {
  total_ += data.size();
  while (!data.empty()) {
    const size_t take = std::min(NdbWriter::kMaxBlockData - pending_.size(), data.size());
    pending_.insert(pending_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    data = data.subspan(take);
    if (pending_.size() == NdbWriter::kMaxBlockData) {
      blocks_.push_back(writer_.writeBlock(pending_));
      pending_.clear();
    }
  }
}

Bid DataTreeWriter::finish() {
  if (!pending_.empty()) {
    blocks_.push_back(writer_.writeBlock(pending_));
    pending_.clear();
  }
  const Bid root = writer_.writeDataTree(blocks_, total_);
  blocks_.clear();
  return root;
}

}  // namespace pst::ndb
