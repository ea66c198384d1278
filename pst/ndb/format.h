// The two on-disk variants of the node database (Unicode with 64-bit ids, ANSI with 32-bit ids)
// and the sizes that differ between them. We write Unicode only; the reader accepts both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pst::ndb {

enum class Format { Unicode, Ansi };

constexpr uint64_t kPageSize = 512;
constexpr uint64_t kBlockAlign = 64;
constexpr uint64_t kMaxBlockSize = 8192;

enum class CryptMethod : uint8_t { None = 0x00, Permute = 0x01, Cyclic = 0x02 };

// Page types (PAGETRAILER.ptype).
enum class PageType : uint8_t {
  Bbt = 0x80,
  Nbt = 0x81,
  FMap = 0x82,
  PMap = 0x83,
  AMap = 0x84,
  FPMap = 0x85,
  DList = 0x86,
};

// Field and record sizes of one format variant.
struct Layout {
  size_t idSize;           // bytes of a BID, IB, NID slot in trees
  size_t blockTrailer;     // BLOCKTRAILER size
  size_t pageTrailer;      // PAGETRAILER size
  size_t pageData;         // bytes before the trailer that the page CRC covers
  size_t btEntries;        // bytes of BTPAGE.rgentries
  size_t btEntry;          // BTENTRY (intermediate pages)
  size_t bbtEntry;         // BBTENTRY
  size_t nbtEntry;         // NBTENTRY
  size_t slEntry;          // SLENTRY
  size_t siEntry;          // SIENTRY
  size_t subnodeHeader;    // SLBLOCK/SIBLOCK header
  constexpr size_t maxBlockData() const { return kMaxBlockSize - blockTrailer; }
};

constexpr Layout kUnicode{8, 16, 16, 496, 488, 24, 24, 32, 24, 16, 8};
constexpr Layout kAnsi{4, 12, 12, 500, 496, 12, 12, 16, 12, 8, 4};

constexpr const Layout& layoutOf(Format f) { return f == Format::Unicode ? kUnicode : kAnsi; }

// Bit 1 of a BID marks blocks that hold tree structure (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK).
constexpr uint64_t kInternalBidBit = 0x2;
constexpr bool isInternalBid(uint64_t bid) { return (bid & kInternalBidBit) != 0; }

constexpr uint64_t alignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Bytes a block occupies on disk: data plus trailer, rounded up to 64.
constexpr uint64_t blockDiskSize(uint64_t cb, const Layout& l = kUnicode) {
  return alignUp(cb + l.blockTrailer, kBlockAlign);
}

}  // namespace pst::ndb
