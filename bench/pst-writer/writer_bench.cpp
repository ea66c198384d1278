// Writes TOTAL bytes of node data as values of VALUE bytes into a new PST and reports MB/s.
// With --store, a small message store with one value of 100,000 bytes follows the data, so that
// libpff (read_store_with_pypff.py, pffinfo) can check the far end of the file.
// Usage: pst-writer-bench OUT.pst TOTAL_BYTES VALUE_BYTES [--store]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "pst/ndb/ndb_writer.h"
#include "tests/pst_ndb/minimal_store.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5 || (argc == 5 && std::strcmp(argv[4], "--store") != 0)) {
    std::fprintf(stderr, "usage: pst-writer-bench OUT.pst TOTAL_BYTES VALUE_BYTES [--store]\n");
    return 2;
  }
  const uint64_t total = std::strtoull(argv[2], nullptr, 0);
  const size_t value = std::strtoull(argv[3], nullptr, 0);
  // Random bytes, so nothing downstream can profit from repetitive data.
  std::vector<uint8_t> data(value);
  std::mt19937_64 rng(1);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  try {
    const auto start = std::chrono::steady_clock::now();
    pst::ndb::NdbWriter w(argv[1]);
    uint64_t written = 0;
    while (written < total) {
      data[0] = static_cast<uint8_t>(written >> 13);  // every value a little different
      // Raw data in a node type that holds no heap, so pst-verify can check the file.
      w.addNode(w.allocateNid(pst::NidType::SearchUpdateQueue), w.writeData(data), 0, 0);
      written += value;
    }
    if (argc == 5) pst::test::addMinimalStore(w, 100000);
    w.finish();  // includes fsync
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("value %zu bytes: %llu bytes of node data in %.2f s = %.1f MB/s\n", value,
                static_cast<unsigned long long>(written), secs, static_cast<double>(written) / secs / 1e6);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst-writer-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
