#include "pst/ndb/header.h"

#include <cstring>
#include <string>

#include "pst/ndb/crc.h"
#include "pst/ndb/le.h"
#include "pst/ndb/types.h"

namespace pst::ndb {
namespace {

constexpr size_t kCrcPartialStart = 0x008;
constexpr size_t kCrcPartialLen = 471;
constexpr size_t kCrcFullLen = 516;

bool allOnes(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0xFF) return false;
  return true;
}

}  // namespace

Header Header::parse(std::span<const uint8_t> b) {
  if (b.size() < kAnsiSize) throw Error("The file is too short to be a PST file; choose a complete .pst file.");
  const uint8_t* p = b.data();
  Header h;
  h.magic = le::u32(p);
  h.crcPartial = le::u32(p + 4);
  h.magicClient = le::u16(p + 8);
  h.ver = le::u16(p + 0x0A);
  if (h.magic != kMagic || h.magicClient != kMagicClient)
    throw Error("The file does not start with the PST signature; it is not an Outlook data file.");
  if (h.ver == 14 || h.ver == 15) {
    h.format = Format::Ansi;
  } else if (h.ver >= 23) {
    h.format = Format::Unicode;
    if (b.size() < kUnicodeSize) throw Error("The PST header is truncated; the file is damaged.");
  } else {
    throw Error("Unknown PST version " + std::to_string(h.ver) + "; this file format is not supported.");
  }
  h.verClient = le::u16(p + 0x0C);
  h.platformCreate = p[0x0E];
  h.platformAccess = p[0x0F];
  h.crcPartialOk = crc32({p + kCrcPartialStart, kCrcPartialLen}) == h.crcPartial;
  if (h.format == Format::Unicode) {
    h.bidNextP = le::u64(p + 0x20);
    h.unique = le::u32(p + 0x28);
    for (size_t i = 0; i < 32; ++i) h.rgnid[i] = le::u32(p + 0x2C + 4 * i);
    const uint8_t* r = p + 0xB4;
    h.ibFileEof = le::u64(r + 4);
    h.ibAMapLast = le::u64(r + 12);
    h.cbAMapFree = le::u64(r + 20);
    h.cbPMapFree = le::u64(r + 28);
    h.nbt = {le::u64(r + 36), le::u64(r + 44)};
    h.bbt = {le::u64(r + 52), le::u64(r + 60)};
    h.amapValid = r[68];
    h.fmFpAllOnes = allOnes(p + 0x100, 256);
    h.sentinel = p[0x200];
    h.cryptMethod = p[0x201];
    h.bidNextB = le::u64(p + 0x204);
    h.crcFull = le::u32(p + 0x20C);
    h.crcFullOk = crc32({p + kCrcPartialStart, kCrcFullLen}) == h.crcFull;
  } else {
    h.bidNextB = le::u32(p + 0x18);
    h.bidNextP = le::u32(p + 0x1C);
    h.unique = le::u32(p + 0x20);
    for (size_t i = 0; i < 32; ++i) h.rgnid[i] = le::u32(p + 0x24 + 4 * i);
    const uint8_t* r = p + 0xA4;
    h.ibFileEof = le::u32(r + 4);
    h.ibAMapLast = le::u32(r + 8);
    h.cbAMapFree = le::u32(r + 12);
    h.cbPMapFree = le::u32(r + 16);
    h.nbt = {le::u32(r + 20), le::u32(r + 24)};
    h.bbt = {le::u32(r + 28), le::u32(r + 32)};
    h.amapValid = r[36];
    h.fmFpAllOnes = allOnes(p + 0xCC, 256);
    h.sentinel = p[0x1CC];
    h.cryptMethod = p[0x1CD];
    h.crcFullOk = true;  // the ANSI header has no full CRC
  }
  return h;
}

void Header::write(std::span<uint8_t> out) const {
  uint8_t* p = out.data();
  std::memset(p, 0, kUnicodeSize);
  le::put<uint32_t>(p, kMagic);
  le::put<uint16_t>(p + 0x08, kMagicClient);
  le::put<uint16_t>(p + 0x0A, ver);
  le::put<uint16_t>(p + 0x0C, verClient);
  p[0x0E] = platformCreate;
  p[0x0F] = platformAccess;
  le::put<uint64_t>(p + 0x20, bidNextP);
  le::put<uint32_t>(p + 0x28, unique);
  for (size_t i = 0; i < 32; ++i) le::put<uint32_t>(p + 0x2C + 4 * i, rgnid[i]);
  uint8_t* r = p + 0xB4;
  le::put<uint64_t>(r + 4, ibFileEof);
  le::put<uint64_t>(r + 12, ibAMapLast);
  le::put<uint64_t>(r + 20, cbAMapFree);
  le::put<uint64_t>(r + 28, cbPMapFree);
  le::put<uint64_t>(r + 36, nbt.bid);
  le::put<uint64_t>(r + 44, nbt.ib);
  le::put<uint64_t>(r + 52, bbt.bid);
  le::put<uint64_t>(r + 60, bbt.ib);
  r[68] = amapValid;
  std::memset(p + 0x100, 0xFF, 256);
  p[0x200] = sentinel;
  p[0x201] = cryptMethod;
  le::put<uint64_t>(p + 0x204, bidNextB);
  le::put<uint32_t>(p + 0x04, crc32({p + kCrcPartialStart, kCrcPartialLen}));
  le::put<uint32_t>(p + 0x20C, crc32({p + kCrcPartialStart, kCrcFullLen}));
}

}  // namespace pst::ndb
