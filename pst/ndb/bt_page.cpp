#include "pst/ndb/bt_page.h"

#include <cstring>

#include "pst/ndb/le.h"

namespace pst::ndb {
namespace {

uint64_t id(const uint8_t* p, Format f) { return f == Format::Unicode ? le::u64(p) : le::u32(p); }

void putCounts(uint8_t* page, size_t n, size_t max, size_t cbEnt, uint8_t level) {
  uint8_t* c = page + kUnicode.btEntries;
  c[0] = static_cast<uint8_t>(n);
  c[1] = static_cast<uint8_t>(max);
  c[2] = static_cast<uint8_t>(cbEnt);
  c[3] = level;
}

}  // namespace

BtPage BtPage::parse(const uint8_t* page, Format f) {
  const uint8_t* c = page + layoutOf(f).btEntries;
  BtPage p;
  p.cEnt = c[0];
  p.cEntMax = c[1];
  p.cbEnt = c[2];
  p.cLevel = c[3];
  p.entries = page;
  return p;
}

BtEntry BtPage::btEntry(size_t i, Format f) const {
  const size_t w = layoutOf(f).idSize;
  const uint8_t* p = entries + i * cbEnt;
  return {id(p, f), {id(p + w, f), id(p + 2 * w, f)}};
}

BbtEntry BtPage::bbtEntry(size_t i, Format f) const {
  const size_t w = layoutOf(f).idSize;
  const uint8_t* p = entries + i * cbEnt;
  return {id(p, f), id(p + w, f), le::u16(p + 2 * w), le::u16(p + 2 * w + 2)};
}

NbtEntry BtPage::nbtEntry(size_t i, Format f) const {
  const size_t w = layoutOf(f).idSize;
  const uint8_t* p = entries + i * cbEnt;
  return {id(p, f), id(p + w, f), id(p + 2 * w, f), le::u32(p + 3 * w)};
}

void buildBtPage(uint8_t* page, const BtEntry* e, size_t n, uint8_t level) {
  std::memset(page, 0, kPageSize);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* p = page + i * kUnicode.btEntry;
    le::put<uint64_t>(p, e[i].key);
    le::put<uint64_t>(p + 8, e[i].child.bid);
    le::put<uint64_t>(p + 16, e[i].child.ib);
  }
  putCounts(page, n, kBtInnerMax, kUnicode.btEntry, level);
}

void buildBbtLeaf(uint8_t* page, const BbtEntry* e, size_t n) {
  std::memset(page, 0, kPageSize);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* p = page + i * kUnicode.bbtEntry;
    le::put<uint64_t>(p, e[i].bid);
    le::put<uint64_t>(p + 8, e[i].ib);
    le::put<uint16_t>(p + 16, e[i].cb);
    le::put<uint16_t>(p + 18, e[i].cRef);
  }
  putCounts(page, n, kBbtLeafMax, kUnicode.bbtEntry, 0);
}

void buildNbtLeaf(uint8_t* page, const NbtEntry* e, size_t n) {
  std::memset(page, 0, kPageSize);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* p = page + i * kUnicode.nbtEntry;
    le::put<uint64_t>(p, e[i].nid);
    le::put<uint64_t>(p + 8, e[i].bidData);
    le::put<uint64_t>(p + 16, e[i].bidSub);
    le::put<uint32_t>(p + 24, e[i].nidParent);
  }
  putCounts(page, n, kNbtLeafMax, kUnicode.nbtEntry, 0);
}

}  // namespace pst::ndb
