// BTPAGE: one page of the BBT or NBT, with its BTENTRY, BBTENTRY or NBTENTRY records.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/format.h"
#include "pst/ndb/header.h"

namespace pst::ndb {

// BTENTRY: key and the child page of an intermediate page.
struct BtEntry {
  uint64_t key = 0;
  Bref child;
};

// BBTENTRY: where a block lives, its data size and how many references it has.
struct BbtEntry {
  uint64_t bid = 0;
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cRef = 0;
};

// NBTENTRY as stored (the node id keeps its full on-disk width).
struct NbtEntry {
  uint64_t nid = 0;
  uint64_t bidData = 0;
  uint64_t bidSub = 0;
  uint32_t nidParent = 0;
};

// BTPAGE: the entry counts of a parsed page and its entries in place.
struct BtPage {
  uint8_t cEnt = 0;
  uint8_t cEntMax = 0;
  uint8_t cbEnt = 0;
  uint8_t cLevel = 0;
  const uint8_t* entries = nullptr;  // into the page bytes

  // Reads the counts; the caller checks them against the layout.
  static BtPage parse(const uint8_t* page, Format f);
  BtEntry btEntry(size_t i, Format f) const;
  BbtEntry bbtEntry(size_t i, Format f) const;
  NbtEntry nbtEntry(size_t i, Format f) const;
};

// Unicode page builders: fill `page` (512 bytes) except the trailer.
constexpr size_t kBbtLeafMax = kUnicode.btEntries / kUnicode.bbtEntry;  // 20
constexpr size_t kNbtLeafMax = kUnicode.btEntries / kUnicode.nbtEntry;  // 15
constexpr size_t kBtInnerMax = kUnicode.btEntries / kUnicode.btEntry;   // 20

void buildBtPage(uint8_t* page, const BtEntry* e, size_t n, uint8_t level);
void buildBbtLeaf(uint8_t* page, const BbtEntry* e, size_t n);
void buildNbtLeaf(uint8_t* page, const NbtEntry* e, size_t n);

}  // namespace pst::ndb
