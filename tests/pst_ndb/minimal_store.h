// A message store node with a few values, built by hand on top of the node database: just
// enough structure for libpff to find the values, so a libpff read-back tests the node database
// rather than the property layer. Shared by the tests and the writer benchmark.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/le.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::test {

using Bytes = std::vector<uint8_t>;

// The values read_store_with_pypff.py expects: byte i is (7 i + seed) mod 251.
inline Bytes pattern(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) % 251);
  return b;
}

// The store's property context in a single-block heap.
inline Bytes storePc(Nid bigSubnode) {
  struct Prop {
    uint16_t id, type;
    uint32_t hnid;
  };
  std::vector<Bytes> items;
  auto hidOf = [](size_t index) { return static_cast<uint32_t>((index + 1) << 5); };
  const Bytes name = {'V', 0, 'a', 0, 'n', 0, 't', 0, 'o', 0, 'r', 0, 'e', 0, 'l', 0, ' ', 0, 't', 0, 'e', 0, 's', 0, 't', 0};
  const Prop props[] = {{0x0FF9, 0x0102, hidOf(2)}, {0x3001, 0x001F, hidOf(3)}, {0x6701, 0x0102, bigSubnode},
                        {0x6702, 0x0102, hidOf(4)}, {0x67FF, 0x0003, 0}};
  Bytes bth = {0xB5, 2, 6, 0, 0, 0, 0, 0};
  ndb::le::put<uint32_t>(bth.data() + 4, hidOf(1));
  Bytes records;
  for (const auto& p : props) {
    uint8_t r[8];
    ndb::le::put<uint16_t>(r, p.id);
    ndb::le::put<uint16_t>(r + 2, p.type);
    ndb::le::put<uint32_t>(r + 4, p.hnid);
    records.insert(records.end(), r, r + 8);
  }
  items = {bth, records, pattern(16, 1), name, pattern(3000, 3)};
  Bytes hn(12);
  std::vector<uint16_t> starts;
  for (const auto& it : items) {
    starts.push_back(static_cast<uint16_t>(hn.size()));
    hn.insert(hn.end(), it.begin(), it.end());
  }
  starts.push_back(static_cast<uint16_t>(hn.size()));
  if (hn.size() % 2) hn.push_back(0);
  const uint16_t ibHnpm = static_cast<uint16_t>(hn.size());
  ndb::le::put<uint16_t>(hn.data(), ibHnpm);
  hn[2] = 0xEC;
  hn[3] = 0xBC;
  ndb::le::put<uint32_t>(hn.data() + 4, hidOf(0));
  Bytes map(4 + 2 * starts.size());
  ndb::le::put<uint16_t>(map.data(), static_cast<uint16_t>(items.size()));
  for (size_t i = 0; i < starts.size(); ++i) ndb::le::put<uint16_t>(map.data() + 4 + 2 * i, starts[i]);
  hn.insert(hn.end(), map.begin(), map.end());
  return hn;
}

// Adds node 0x21 with a value of `bigSize` bytes in a subnode (through a data tree when large).
inline void addMinimalStore(ndb::NdbWriter& w, size_t bigSize) {
  const Nid big = makeNid(NidType::Ltp, 0x400);
  const Bid sub = w.writeSubnodeTree({{big, w.writeData(pattern(bigSize, 2)), 0}});
  w.addNode(0x21, w.writeData(storePc(big)), sub, 0);
}

}  // namespace pst::test
