// HEADER (with its ROOT): the first bytes of the file.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pst/ndb/format.h"

namespace pst::ndb {

// BREF: a block or page reference.
struct Bref {
  uint64_t bid = 0;
  uint64_t ib = 0;
};

// HEADER with its ROOT, either variant.
struct Header {
  static constexpr size_t kUnicodeSize = 0x234;
  static constexpr size_t kAnsiSize = 0x200;
  // Enough bytes to parse either variant.
  static constexpr size_t kReadSize = kUnicodeSize;

  Format format = Format::Unicode;
  uint32_t magic = 0;  // "!BDN"
  uint32_t crcPartial = 0;
  uint16_t magicClient = 0;  // "SM"
  uint16_t ver = 23;
  uint16_t verClient = 19;
  uint8_t platformCreate = 1;
  uint8_t platformAccess = 1;
  uint64_t bidNextB = 0;
  uint64_t bidNextP = 0;
  uint32_t unique = 0;
  std::array<uint32_t, 32> rgnid{};
  // ROOT
  uint64_t ibFileEof = 0;
  uint64_t ibAMapLast = 0;
  uint64_t cbAMapFree = 0;
  uint64_t cbPMapFree = 0;
  Bref nbt;
  Bref bbt;
  uint8_t amapValid = 0;
  uint8_t sentinel = 0x80;
  uint8_t cryptMethod = 1;
  uint32_t crcFull = 0;  // Unicode only
  // Whether the stored CRCs matched the bytes when parsed.
  bool crcPartialOk = false;
  bool crcFullOk = false;
  bool fmFpAllOnes = false;

  static constexpr uint32_t kMagic = 0x4E444221;        // "!BDN" read little-endian
  static constexpr uint16_t kMagicClient = 0x4D53;      // "SM"
  static constexpr uint8_t kAmapValid2 = 2;

  // Throws pst::Error when the bytes are not a PST header at all (magic or version).
  static Header parse(std::span<const uint8_t> bytes);
  // Writes a Unicode header with both CRCs computed into `out` (kUnicodeSize bytes).
  void write(std::span<uint8_t> out) const;
};

}  // namespace pst::ndb
