#include <algorithm>
#include <string>
#include <vector>

#include "pst/ndb/allocation_map.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/page_trailer.h"
#include "pst/ndb/signature.h"
#include "pst/verify/hex.h"
#include "pst/verify/ndb_checks.h"

namespace pst::verify {
namespace {

using namespace ndb;

// Something that occupies file space: a block, a B-tree page or a map page.
struct Extent {
  uint64_t ib;
  uint64_t size;
  uint64_t id;  // BID, or the map page index 0-3
  enum class Kind : uint8_t { Block, Page, Map } kind;

  std::string name() const {
    static const char* maps[] = {"AMap", "PMap", "FMap", "FPMap"};
    const std::string what = kind == Kind::Block ? "block " + hex(id) : kind == Kind::Page ? "B-tree page " + hex(id) : maps[id];
    return what + " at " + hex(ib);
  }
};

// Checks one map page's trailer; returns the page bytes.
Bytes checkMapPage(const NdbReader& r, Findings& f, uint64_t ib, PageType type, const std::string& name) {
  const Bytes page = r.readRaw(ib, kPageSize);
  const PageTrailer t = PageTrailer::parse(page.data(), r.format());
  const std::string where = name + " at " + hex(ib);
  if (t.ptype != static_cast<uint8_t>(type) || t.ptypeRepeat != t.ptype) {
    f.error(where, "missing: page type " + hex(t.ptype) + " found");
    return page;
  }
  if (t.bid != ib) f.error(where, "trailer BID " + hex(t.bid) + " is not the page's offset");
  if (t.sig != 0) f.warning(where, "signature is not 0");
  if (t.crc != crc32({page.data(), layoutOf(r.format()).pageData})) f.error(where, "page CRC mismatch");
  return page;
}

void checkDList(const NdbReader& r, Findings& f) {
  const Bytes page = r.readRaw(kDListOffset, kPageSize);
  const PageTrailer t = PageTrailer::parse(page.data(), r.format());
  const std::string where = "DList at " + hex(kDListOffset);
  if (t.ptype == 0 && t.crc == 0 && t.bid == 0) {
    f.warning(where, "no DList page");
    return;
  }
  if (t.ptype != static_cast<uint8_t>(PageType::DList) || t.ptypeRepeat != t.ptype) {
    f.error(where, "wrong page type " + hex(t.ptype));
    return;
  }
  if (t.crc != crc32({page.data(), layoutOf(r.format()).pageData})) f.error(where, "page CRC mismatch");
  if (t.sig != computeSig(kDListOffset, t.bid)) f.error(where, "signature mismatch");
}

}  // namespace

void checkAllocationMaps(const NdbReader& r, Findings& f) {
  const uint64_t eof = std::min(r.fileSize(), r.header().ibFileEof);
  if (eof < regionStart(1)) return;  // the header checks report it
  const uint64_t regions = regionOf(eof - 1) + 1;
  const Layout& l = layoutOf(r.format());

  std::vector<Extent> used;
  used.reserve(r.blocks().size() + r.pages().size() + regions * 2);
  // Placement faults outside the file are the block checks' to report.
  auto inside = [eof](uint64_t ib, uint64_t size) { return ib >= kFirstAMap && ib <= eof && size <= eof - ib; };
  for (const auto& b : r.blocks())
    if (inside(b.ib, blockDiskSize(b.cb, l))) used.push_back({b.ib, blockDiskSize(b.cb, l), b.bid, Extent::Kind::Block});
  for (const auto& p : r.pages())
    if (inside(p.ib, kPageSize)) used.push_back({p.ib, kPageSize, p.bid, Extent::Kind::Page});
  for (uint64_t n = 0; n < regions; ++n) {
    const unsigned maps = mapPagesOf(n);
    for (unsigned i = 0; i < 4; ++i)
      if (maps & (1u << i)) used.push_back({regionStart(n) + i * kPageSize, kPageSize, i, Extent::Kind::Map});
  }
  std::sort(used.begin(), used.end(), [](const Extent& a, const Extent& b) { return a.ib < b.ib; });
  for (size_t i = 1; i < used.size(); ++i)
    if (used[i].ib < used[i - 1].ib + used[i - 1].size)
      f.error(used[i].name(), "overlaps " + used[i - 1].name());

  uint64_t freeBytes = 0;
  size_t next = 0;
  for (uint64_t n = 0; n < regions; ++n) {
    const uint64_t start = regionStart(n);
    AMapBits expect;
    for (; next < used.size() && used[next].ib < start + kRegionSize; ++next) {
      const Extent& e = used[next];
      const uint64_t end = std::min(e.ib + e.size, start + kRegionSize);
      const uint64_t first = (e.ib - start) / kAMapSlot;
      expect.set(first, (end - start + kAMapSlot - 1) / kAMapSlot - first);
    }
    const Bytes page = checkMapPage(r, f, start, PageType::AMap, "AMap");
    AMapBits found;
    // ANSI map pages start with 4 bytes of padding before the bitmap.
    const size_t bitsAt = r.format() == Format::Ansi ? 4 : 0;
    std::copy(page.begin() + bitsAt, page.begin() + bitsAt + kAMapBytes, found.bits.begin());
    freeBytes += found.freeSlots() * kAMapSlot;
    size_t reported = 0;
    for (uint64_t s = 0; s < kRegionSlots; ++s) {
      if (found.test(s) == expect.test(s)) continue;
      if (reported++ < 3)
        f.error("AMap at " + hex(start), "bit for " + hex(start + s * kAMapSlot) +
                                             (found.test(s) ? " is set but nothing is allocated there"
                                                            : " is clear but the space is in use"));
    }
    if (reported > 3) f.error("AMap at " + hex(start), std::to_string(reported) + " wrong bits in all");
    if (hasPMap(n)) checkMapPage(r, f, pmapOffset(n), PageType::PMap, "PMap");
    if (hasFMap(n)) checkMapPage(r, f, fmapOffset(n), PageType::FMap, "FMap");
    if (hasFPMap(n)) checkMapPage(r, f, fpmapOffset(n), PageType::FPMap, "FPMap");
  }
  if (freeBytes != r.header().cbAMapFree)
    f.error("header", "cbAMapFree " + hex(r.header().cbAMapFree) + " but the AMaps show " + hex(freeBytes) + " free");
  checkDList(r, f);
}

}  // namespace pst::verify
