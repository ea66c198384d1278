#include <algorithm>
#include <string>

#include "pst/ndb/allocation_map.h"
#include "pst/verify/hex.h"
#include "pst/verify/ndb_checks.h"

namespace pst::verify {

void checkHeader(const ndb::NdbReader& reader, Findings& f) {
  using namespace ndb;
  const Header& h = reader.header();
  const std::string where = "header";
  if (!h.crcPartialOk) f.error(where, "dwCRCPartial does not match the header bytes");
  if (!h.crcFullOk) f.error(where, "dwCRCFull does not match the header bytes");
  if (h.sentinel != 0x80) f.error(where, "bSentinel is " + hex(h.sentinel) + ", not 0x80");
  if (h.cryptMethod > 2) f.error(where, "unknown bCryptMethod " + hex(h.cryptMethod));
  if (h.format == Format::Unicode && h.ver < 23) f.error(where, "wVer " + std::to_string(h.ver) + " below 23");
  if (h.verClient != 19) f.warning(where, "wVerClient is " + std::to_string(h.verClient) + ", Outlook writes 19");
  if (h.platformCreate != 1 || h.platformAccess != 1) f.warning(where, "bPlatformCreate/bPlatformAccess are not 1");
  if (!h.fmFpAllOnes) f.warning(where, "rgbFM/rgbFP are not all 0xFF");
  if (h.cbPMapFree != 0) f.warning(where, "cbPMapFree is not 0");
  if (h.amapValid == 0) f.error(where, "fAMapValid says the allocation maps are invalid");
  else if (h.amapValid != Header::kAmapValid2) f.warning(where, "fAMapValid is the deprecated value " + hex(h.amapValid));

  const uint64_t size = reader.fileSize();
  if (h.ibFileEof != size) f.error(where, "ibFileEof " + hex(h.ibFileEof) + " differs from the file size " + hex(size));
  if (h.ibFileEof < regionStart(1) || (h.ibFileEof - kFirstAMap) % kRegionSize != 0)
    f.error(where, "ibFileEof " + hex(h.ibFileEof) + " is not the end of a whole AMap region");
  else if (h.ibAMapLast != regionStart(regionOf(h.ibFileEof) - 1))
    f.error(where, "ibAMapLast " + hex(h.ibAMapLast) + " is not the last AMap");

  uint64_t maxBid = 0;
  for (const auto& b : reader.blocks()) maxBid = std::max(maxBid, b.bid & ~uint64_t{3});
  if (!reader.blocks().empty() && h.bidNextB <= maxBid)
    f.error(where, "bidNextB " + hex(h.bidNextB) + " is not above the largest block id " + hex(maxBid));
  uint64_t maxPageBid = 0;
  for (const auto& p : reader.pages()) maxPageBid = std::max(maxPageBid, p.bid);
  if (h.bidNextP < maxPageBid) f.error(where, "bidNextP " + hex(h.bidNextP) + " is below page id " + hex(maxPageBid));
  for (const auto& n : reader.nodes()) {
    const unsigned t = n.nid & 0x1F;
    if (t != 0x01 && nidIndex(n.nid) > h.rgnid[t])  // internal nodes have fixed ids
      f.warning(where, "rgnid[" + std::to_string(t) + "] " + hex(h.rgnid[t]) + " is below node " + hex(n.nid));
  }
}

}  // namespace pst::verify
