#include "pst/ndb/ndb_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/file_status.h"
#include "platform/files.h"
#include "pst/ndb/allocation_map.h"
#include "pst/ndb/block_trailer.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/data_tree_block.h"
#include "pst/ndb/page_trailer.h"
#include "pst/ndb/permute.h"
#include "pst/ndb/signature.h"
#include "pst/ndb/subnode_block.h"

namespace pst::ndb {
namespace {

constexpr int kMaxTreeDepth = 9;  // a leaf plus up to eight intermediate levels

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

uint64_t blockKey(uint64_t bid) { return bid & ~uint64_t{1}; }

}  // namespace

// The open file and the B-tree entries read from it.
struct NdbReader::Impl {
  std::filesystem::path path;
  int fd = -1;
  uint64_t size = 0;
  Header header;
  Format format = Format::Unicode;
  const Layout* layout = &kUnicode;
  std::vector<NodeEntry> nodes;
  std::vector<BbtEntry> blocks;
  std::vector<PageRef> pages;
  std::unordered_set<uint64_t> visited;  // page offsets, so a looping tree is read once
  ProblemSink sink;

  ~Impl() {
    if (fd >= 0) platform::closeFile(fd);
  }

  void problem(const std::string& where, const std::string& what) {
    if (!sink) throw Error(path.filename().string() + ": " + where + ": " + what + "; the file is damaged.");
    sink(where, what);
  }

  void open() {
    fd = platform::openForReading(path);
    if (fd < 0) throw Error("Cannot open " + path.string() + ": " + std::strerror(errno) + ".");
    platform::FileStatus st;
    if (!platform::statusOf(fd, st)) throw Error("Cannot read " + path.string() + ": " + std::strerror(errno) + ".");
    size = st.size;
    const Bytes head = readRaw(0, static_cast<size_t>(std::min<uint64_t>(size, Header::kReadSize)));
    header = Header::parse(head);
    format = header.format;
    layout = &layoutOf(format);
    if (header.cryptMethod != static_cast<uint8_t>(CryptMethod::None) &&
        header.cryptMethod != static_cast<uint8_t>(CryptMethod::Permute))
      throw Error(path.filename().string() + " uses an encoding (" + std::to_string(header.cryptMethod) +
                  ") this program cannot read; open it in Outlook and save a copy without encryption.");
  }

  Bytes readRaw(uint64_t ib, size_t n) const {
    if (ib > size || n > size - ib)
      throw Error(path.filename().string() + ": read of " + std::to_string(n) + " bytes at " + hex(ib) +
                  " runs past the end of the file; the file is truncated or damaged.");
    Bytes out(n);
    size_t done = 0;
    while (done < n) {
      const long long r = platform::readAt(fd, out.data() + done, n - done, ib + done);
      if (r <= 0) throw Error("Cannot read " + path.string() + ": " + (r < 0 ? std::strerror(errno) : "unexpected end") + ".");
      done += static_cast<size_t>(r);
    }
    return out;
  }

  // Visits one page and its subtree. `lowKey` is the parent's key for this child: the first
  // key found here must equal it. `lastKey` carries key order across the whole tree.
  void walk(const Bref& ref, PageType type, int expectLevel, const uint64_t* lowKey, bool& haveLast,
            uint64_t& lastKey, int depth) {
    const std::string where = std::string(type == PageType::Bbt ? "BBT" : "NBT") + " page " + hex(ref.bid) +
                              " at " + hex(ref.ib);
    if (depth > kMaxTreeDepth) return problem(where, "the tree is deeper than 9 levels (a loop?)");
    if (ref.ib % kPageSize != 0) return problem(where, "page is not 512-byte aligned");
    if (ref.ib < kFirstAMap || ref.ib > size || size - ref.ib < kPageSize) return problem(where, "page lies outside the file");
    if (!visited.insert(ref.ib).second) return problem(where, "page is reached twice in the B-trees");
    const Bytes page = readRaw(ref.ib, kPageSize);
    const PageTrailer t = PageTrailer::parse(page.data(), format);
    pages.push_back({ref.ib, ref.bid, type});
    if (t.ptype != static_cast<uint8_t>(type) || t.ptypeRepeat != t.ptype)
      return problem(where, "page type " + hex(t.ptype) + "/" + hex(t.ptypeRepeat) + " instead of " +
                                hex(static_cast<uint8_t>(type)));
    if (t.crc != crc32({page.data(), layout->pageData})) problem(where, "page CRC mismatch");
    if (t.bid != ref.bid) problem(where, "trailer BID " + hex(t.bid) + " differs from the reference");
    if (t.sig != computeSig(ref.ib, ref.bid)) problem(where, "page signature mismatch");
    const BtPage bt = BtPage::parse(page.data(), format);
    const size_t cbEnt = bt.cLevel > 0 ? layout->btEntry : type == PageType::Bbt ? layout->bbtEntry : layout->nbtEntry;
    if (bt.cbEnt != cbEnt) return problem(where, "entry size " + std::to_string(bt.cbEnt) + " instead of " + std::to_string(cbEnt));
    if (bt.cEntMax != layout->btEntries / cbEnt) problem(where, "cEntMax " + std::to_string(bt.cEntMax) + " is wrong");
    if (bt.cEnt > layout->btEntries / cbEnt) return problem(where, "more entries than fit in the page");
    if (expectLevel >= 0 && bt.cLevel != expectLevel)
      return problem(where, "level " + std::to_string(bt.cLevel) + " where " + std::to_string(expectLevel) + " was expected");
    if (bt.cEnt == 0 && depth > 0) problem(where, "empty page below the root");

    for (size_t i = 0; i < bt.cEnt; ++i) {
      uint64_t key = 0;
      if (bt.cLevel > 0) {
        key = bt.btEntry(i, format).key;
      } else if (type == PageType::Bbt) {
        key = blockKey(bt.bbtEntry(i, format).bid);
      } else {
        key = bt.nbtEntry(i, format).nid;
      }
      if (type == PageType::Bbt && bt.cLevel > 0) key = blockKey(key);
      if (i == 0 && lowKey && key != *lowKey)
        problem(where, "first key " + hex(key) + " differs from the parent key " + hex(*lowKey));
      if (bt.cLevel == 0) {
        if (haveLast && key <= lastKey) problem(where, "key " + hex(key) + " out of order");
        haveLast = true;
        lastKey = key;
      }
      if (bt.cLevel > 0) {
        const BtEntry e = bt.btEntry(i, format);
        const uint64_t childKey = type == PageType::Bbt ? blockKey(e.key) : e.key;
        walk(e.child, type, bt.cLevel - 1, &childKey, haveLast, lastKey, depth + 1);
      } else if (type == PageType::Bbt) {
        blocks.push_back(bt.bbtEntry(i, format));
      } else {
        const NbtEntry e = bt.nbtEntry(i, format);
        nodes.push_back({static_cast<Nid>(e.nid), e.bidData, e.bidSub, e.nidParent});
      }
    }
  }

  void readTrees() {
    bool have = false;
    uint64_t last = 0;
    walk(header.nbt, PageType::Nbt, -1, nullptr, have, last, 0);
    have = false;
    walk(header.bbt, PageType::Bbt, -1, nullptr, have, last, 0);
    // Lenient reads may have skipped bad pages and left the order broken; lookups need it sorted.
    auto byNid = [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; };
    if (!std::is_sorted(nodes.begin(), nodes.end(), byNid)) std::sort(nodes.begin(), nodes.end(), byNid);
    auto byBid = [](const BbtEntry& a, const BbtEntry& b) { return blockKey(a.bid) < blockKey(b.bid); };
    if (!std::is_sorted(blocks.begin(), blocks.end(), byBid)) std::sort(blocks.begin(), blocks.end(), byBid);
  }

  const BbtEntry* findBlock(Bid bid) const {
    const uint64_t key = blockKey(bid);
    auto it = std::lower_bound(blocks.begin(), blocks.end(), key,
                               [](const BbtEntry& e, uint64_t k) { return blockKey(e.bid) < k; });
    if (it == blocks.end() || blockKey(it->bid) != key) return nullptr;
    return &*it;
  }

  Bytes readBlock(Bid bid) const {
    const BbtEntry* e = findBlock(bid);
    const std::string where = path.filename().string() + ": block " + hex(bid);
    if (!e) throw Error(where + " is not in the block index; the file is damaged.");
    const uint64_t disk = blockDiskSize(e->cb, *layout);
    if (disk > kMaxBlockSize) throw Error(where + " claims " + std::to_string(e->cb) + " bytes; the file is damaged.");
    Bytes raw = readRaw(e->ib, static_cast<size_t>(disk));
    const BlockTrailer t = BlockTrailer::parse(raw.data() + disk - layout->blockTrailer, format);
    if (t.cb != e->cb) throw Error(where + ": trailer size differs from the index; the file is damaged.");
    if (blockKey(t.bid) != blockKey(bid)) throw Error(where + ": trailer names another block; the file is damaged.");
    if (t.crc != crc32({raw.data(), e->cb})) throw Error(where + ": CRC mismatch; the file is damaged.");
    raw.resize(e->cb);
    if (!isInternalBid(bid) && header.cryptMethod == static_cast<uint8_t>(CryptMethod::Permute)) permuteDecode(raw);
    return raw;
  }

  void dataBlocks(Bid bid, std::vector<Bytes>& out, int depth) const {
    if (!isInternalBid(bid)) {
      out.push_back(readBlock(bid));
      return;
    }
    if (depth > 2) throw Error(path.filename().string() + ": data tree under " + hex(bid) + " is too deep; the file is damaged.");
    const DataTreeBlock x = DataTreeBlock::parse(readBlock(bid), format);
    for (uint64_t child : x.bids) {
      if (x.level == 2 && !isInternalBid(child))
        throw Error(path.filename().string() + ": XXBLOCK " + hex(bid) + " points at a data block; the file is damaged.");
      if (x.level == 1 && isInternalBid(child))
        throw Error(path.filename().string() + ": XBLOCK " + hex(bid) + " points at an internal block; the file is damaged.");
      dataBlocks(child, out, depth + 1);
    }
  }

  void subnodes(Bid bid, std::vector<SubnodeEntry>& out, int depth) const {
    if (depth > 1 || !isInternalBid(bid))
      throw Error(path.filename().string() + ": subnode tree " + hex(bid) + " is malformed; the file is damaged.");
    const SubnodeBlock b = SubnodeBlock::parse(readBlock(bid), format);
    for (const auto& r : b.entries) {
      if (b.level == 1) {
        subnodes(r.bidData, out, depth + 1);
      } else {
        out.push_back({static_cast<Nid>(r.nid & 0xFFFFFFFFu), r.bidData, r.bidSub});
      }
    }
  }
};

NdbReader::NdbReader(const std::filesystem::path& path) : NdbReader(path, nullptr) {}

NdbReader::NdbReader(const std::filesystem::path& path, ProblemSink sink) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->sink = std::move(sink);
  impl_->open();
  impl_->readTrees();
}

NdbReader::~NdbReader() = default;

const Header& NdbReader::header() const { return impl_->header; }
Format NdbReader::format() const { return impl_->format; }
uint64_t NdbReader::fileSize() const { return impl_->size; }
const std::vector<NodeEntry>& NdbReader::nodes() const { return impl_->nodes; }
const std::vector<BbtEntry>& NdbReader::blocks() const { return impl_->blocks; }
const std::vector<PageRef>& NdbReader::pages() const { return impl_->pages; }
const BbtEntry* NdbReader::findBlock(Bid bid) const { return impl_->findBlock(bid); }
Bytes NdbReader::readBlock(Bid bid) const { return impl_->readBlock(bid); }
Bytes NdbReader::readRaw(uint64_t ib, size_t size) const { return impl_->readRaw(ib, size); }

const NodeEntry* NdbReader::findNode(Nid nid) const {
  const auto& n = impl_->nodes;
  auto it = std::lower_bound(n.begin(), n.end(), nid, [](const NodeEntry& e, Nid k) { return e.nid < k; });
  return it != n.end() && it->nid == nid ? &*it : nullptr;
}

std::vector<Bytes> NdbReader::readDataBlocks(Bid bid) const {
  std::vector<Bytes> out;
  if (bid != 0) impl_->dataBlocks(bid, out, 0);
  return out;
}

Bytes NdbReader::readData(Bid bid) const {
  Bytes all;
  for (auto& b : readDataBlocks(bid)) all.insert(all.end(), b.begin(), b.end());
  return all;
}

std::vector<SubnodeEntry> NdbReader::readSubnodes(Bid bid) const {
  std::vector<SubnodeEntry> out;
  if (bid != 0) impl_->subnodes(bid, out, 0);
  return out;
}

}  // namespace pst::ndb
