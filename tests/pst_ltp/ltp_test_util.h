// Shared by the LTP tests: scratch files, reading a node back, libpff as a second reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "../pst_ndb/temp_dir.h"
#include "pst/ltp/ndb_node_source.h"
#include "pst/ltp/property.h"
#include "pst/ndb/ndb_reader.h"

namespace pst::test {

inline Bytes filled(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 13 + static_cast<size_t>(seed)) % 251);
  return b;
}

inline uint32_t adler32(const Bytes& b) {
  uint32_t a = 1, s = 0;
  for (uint8_t x : b) {
    a = (a + x) % 65521;
    s = (s + a) % 65521;
  }
  return (s << 16) | a;
}

inline ltp::NodeSource sourceOf(const ndb::NdbReader& r, Nid nid) {
  const auto* node = r.findNode(nid);
  if (!node) throw Error("node missing");
  return ltp::nodeSource(r, node->data, node->subnodes);
}

// libpff's view of the store node's properties: id -> (type, length, checksum, hex when short).
struct PffValue {
  uint16_t type = 0;
  size_t size = 0;
  uint32_t checksum = 0;
  std::string hex;
};

// Empty optional-like result: `available` false when pypff is not installed.
struct PffStore {
  bool available = false;
  std::map<uint16_t, PffValue> values;
};

inline PffStore readStoreWithPypff(const std::filesystem::path& file) {
  PffStore out;
#ifdef _WIN32
  (void)file;  // the oracle is a Linux program
  return out;
#else
  const std::string cmd = "/usr/bin/python3 " VANTOREL_LTP_TEST_DIR "/read_pc_with_pypff.py '" + file.string() + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  if (!pipe) return out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get())) {
    unsigned id = 0, type = 0;
    size_t size = 0;
    unsigned long sum = 0;
    char hex[300] = "";
    if (std::sscanf(line, "%x %x %zu %lx %299s", &id, &type, &size, &sum, hex) >= 4)
      out.values[static_cast<uint16_t>(id)] = {static_cast<uint16_t>(type), size, static_cast<uint32_t>(sum), hex};
  }
  const int rc = pclose(pipe.release());
  out.available = !(WIFEXITED(rc) && WEXITSTATUS(rc) == 3);
  if (out.available && rc != 0) ADD_FAILURE() << "pypff failed on " << file;
  return out;
#endif
}

}  // namespace pst::test
