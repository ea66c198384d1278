#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "pst/ndb/block_trailer.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/data_tree_block.h"
#include "pst/ndb/signature.h"
#include "pst/ndb/subnode_block.h"
#include "pst/ndb/allocation_map.h"
#include "pst/verify/hex.h"
#include "pst/verify/ndb_checks.h"

namespace pst::verify {
namespace {

using namespace ndb;

uint64_t key(uint64_t bid) { return bid & ~uint64_t{1}; }

// Subnode trees nest once per embedded message; no real file comes near this.
constexpr int kMaxDepth = 64;

// Counts the references to every block (BBTENTRY.cRef) by walking every node's trees.
struct RefCounter {
  const NdbReader& r;
  Findings& f;
  std::unordered_map<uint64_t, uint32_t> refs;
  std::unordered_set<uint64_t> parsed;  // internal blocks whose slots are counted already

  std::string blockWhere(uint64_t bid) const { return "block " + hex(bid); }

  // Counts one slot pointing at `bid` and, the first time an internal block is met, its own slots.
  // `want` is the internal block type expected there (0 for an external data block).
  void reference(uint64_t bid, const std::string& from, uint8_t wantType, int depth) {
    if (bid == 0) return;
    const BbtEntry* e = r.findBlock(bid);
    if (!e) {
      f.error(from, "refers to block " + hex(bid) + ", which is not in the BBT");
      return;
    }
    ++refs[key(bid)];
    if (depth > kMaxDepth) {
      f.error(from, "tree under block " + hex(bid) + " is too deep");
      return;
    }
    const bool internal = isInternalBid(bid);
    if (wantType == 0 && internal) {
      f.error(from, "expects a data block but " + hex(bid) + " is internal");
      return;
    }
    if (!internal) return;
    if (!parsed.insert(key(bid)).second) return;
    Bytes data;
    try {
      data = r.readBlock(bid);
    } catch (const Error&) {
      return;  // the block pass reports it
    }
    const std::string where = blockWhere(bid);
    if (data.size() < 2 || (data[0] != kDataTreeType && data[0] != kSubnodeTreeType)) {
      f.error(where, "internal block of unknown type");
      return;
    }
    if (data[0] != wantType) {
      f.error(from, "points at " + hex(bid) + " of the wrong kind (" + hex(data[0]) + ")");
      return;
    }
    try {
      if (data[0] == kDataTreeType) countDataTree(bid, DataTreeBlock::parse(data, r.format()), depth);
      else countSubnodeTree(bid, SubnodeBlock::parse(data, r.format()), depth);
    } catch (const Error& e) {
      f.error(where, e.what());
    }
  }

  void countDataTree(uint64_t bid, const DataTreeBlock& x, int depth) {
    const std::string where = blockWhere(bid);
    if (x.bids.empty()) f.error(where, "XBLOCK without entries");
    uint64_t total = 0;
    for (size_t i = 0; i < x.bids.size(); ++i) {
      const uint64_t child = x.bids[i];
      if (x.level == 2) {
        if (!isInternalBid(child)) f.error(where, "XXBLOCK entry " + hex(child) + " is not an XBLOCK");
        reference(child, where, kDataTreeType, depth + 1);
      } else {
        reference(child, where, 0, depth + 1);
      }
      const BbtEntry* e = r.findBlock(child);
      if (!e) continue;
      if (x.level == 1) {
        // Heap blocks need not be full, so only the total is checked here.
        total += e->cb;
      } else {
        try {
          total += DataTreeBlock::parse(r.readBlock(child), r.format()).lcbTotal;
        } catch (const Error&) {
        }
      }
    }
    if (total != x.lcbTotal)
      f.error(where, "lcbTotal " + std::to_string(x.lcbTotal) + " differs from its blocks' " + std::to_string(total));
  }

  void countSubnodeTree(uint64_t bid, const SubnodeBlock& s, int depth) {
    const std::string where = blockWhere(bid);
    if (s.entries.empty()) f.error(where, "subnode block without entries (cEnt must be > 0)");
    uint32_t last = 0;
    for (size_t i = 0; i < s.entries.size(); ++i) {
      const auto& e = s.entries[i];
      const uint32_t nid = static_cast<uint32_t>(e.nid);
      if (e.nid >> 32) f.warning(where, "subnode id " + hex(e.nid) + " has junk in its upper 32 bits");
      if (i > 0 && nid <= last) f.error(where, "subnode id " + hex(nid) + " out of order");
      last = nid;
      if (s.level == 1) {
        if (!isInternalBid(e.bidData)) f.error(where, "SIENTRY " + hex(nid) + " does not point at an SLBLOCK");
        reference(e.bidData, where, kSubnodeTreeType, depth + 1);
        try {
          const auto child = SubnodeBlock::parse(r.readBlock(e.bidData), r.format());
          if (child.level != 0) f.error(where, "SIENTRY " + hex(nid) + " points at another SIBLOCK");
          if (!child.entries.empty() && static_cast<uint32_t>(child.entries.front().nid) != nid)
            f.error(where, "SIENTRY key " + hex(nid) + " differs from its SLBLOCK's first id");
        } catch (const Error&) {
        }
      } else {
        reference(e.bidData, where + " subnode " + hex(nid), kDataTreeType, depth + 1);
        reference(e.bidSub, where + " subnode " + hex(nid), kSubnodeTreeType, depth + 1);
      }
    }
  }
};

void checkBlockTrailers(const NdbReader& r, Findings& f) {
  const Layout& l = layoutOf(r.format());
  const uint64_t eof = r.fileSize();
  for (const auto& b : r.blocks()) {
    const std::string where = "block " + hex(b.bid) + " at " + hex(b.ib);
    const uint64_t disk = blockDiskSize(b.cb, l);
    if (b.bid & 1) f.warning(where, "reserved bit 0 of the BID is set");
    if (b.cb > l.maxBlockData()) {
      f.error(where, "cb " + std::to_string(b.cb) + " exceeds a block's capacity");
      continue;
    }
    if (b.ib % kBlockAlign != 0) f.error(where, "not 64-byte aligned");
    if (b.ib < kFirstAMap || b.ib > eof || disk > eof - b.ib) {
      f.error(where, "lies outside the file's data area");
      continue;
    }
    if (regionOf(b.ib) != regionOf(b.ib + disk - 1)) f.error(where, "crosses an AMap region boundary");
    if (b.cRef == 0) f.error(where, "cRef is 0");
    const Bytes raw = r.readRaw(b.ib, static_cast<size_t>(disk));
    const BlockTrailer t = BlockTrailer::parse(raw.data() + disk - l.blockTrailer, r.format());
    if (t.cb != b.cb) f.error(where, "trailer cb " + std::to_string(t.cb) + " differs from the BBT's " + std::to_string(b.cb));
    if (key(t.bid) != key(b.bid)) f.error(where, "trailer BID " + hex(t.bid) + " differs from the BBT");
    if (t.sig != computeSig(b.ib, b.bid)) f.error(where, "signature mismatch");
    if (t.crc != crc32({raw.data(), std::min<size_t>(b.cb, raw.size())})) f.error(where, "CRC mismatch");
  }
}

}  // namespace

void checkBlocksAndReferences(const NdbReader& r, Findings& f) {
  checkBlockTrailers(r, f);
  RefCounter c{r, f, {}, {}};
  for (const auto& n : r.nodes()) {
    const std::string where = "node " + hex(n.nid);
    c.reference(n.data, where, kDataTreeType, 0);
    c.reference(n.subnodes, where, kSubnodeTreeType, 0);
  }
  for (const auto& b : r.blocks()) {
    const auto it = c.refs.find(key(b.bid));
    const uint32_t found = it == c.refs.end() ? 0 : it->second;
    const std::string where = "block " + hex(b.bid) + " at " + hex(b.ib);
    if (found == 0) {
      // Outlook leaves superseded copies behind with cRef 1; harmless but wasted space.
      if (b.cRef == 1) f.warning(where, "not referenced by any node (stale block)");
      else f.error(where, "cRef " + std::to_string(b.cRef) + " but nothing refers to it");
    } else if (b.cRef != found + 1) {
      f.error(where, "cRef " + std::to_string(b.cRef) + " but " + std::to_string(found) + " references found (expected " +
                         std::to_string(found + 1) + ")");
    }
  }
}

}  // namespace pst::verify
