// Files from our writer read back through libpff (pypff and pffinfo), an independent reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pst/ndb/le.h"
#include "pst/ndb/ndb_writer.h"
#include "pst/verify/verify.h"
#include "temp_dir.h"

namespace pst::ndb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) % 251);
  return b;
}

// A store property context in a single-block heap: just enough structure for libpff to find
// the values, so the test exercises the node database rather than the property layer.
Bytes storePc(Nid bigSubnode) {
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
  le::put<uint32_t>(bth.data() + 4, hidOf(1));
  Bytes records;
  for (const auto& p : props) {
    uint8_t r[8];
    le::put<uint16_t>(r, p.id);
    le::put<uint16_t>(r + 2, p.type);
    le::put<uint32_t>(r + 4, p.hnid);
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
  le::put<uint16_t>(hn.data(), ibHnpm);
  hn[2] = 0xEC;
  hn[3] = 0xBC;
  le::put<uint32_t>(hn.data() + 4, hidOf(0));
  Bytes map(4 + 2 * starts.size());
  le::put<uint16_t>(map.data(), static_cast<uint16_t>(items.size()));
  for (size_t i = 0; i < starts.size(); ++i) le::put<uint16_t>(map.data() + 4 + 2 * i, starts[i]);
  hn.insert(hn.end(), map.begin(), map.end());
  return hn;
}

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

void writeStore(const std::filesystem::path& path, size_t bigSize, size_t fillerBytes) {
  NdbWriter w(path);
  // Filler nodes first, so the store sits far into the file.
  const Bytes filler = pattern(8176, 9);
  for (size_t done = 0; done < fillerBytes; done += filler.size())
    w.addNode(w.allocateNid(NidType::NormalMessage), w.writeData(filler), 0, 0);
  const Nid big = makeNid(NidType::Ltp, 0x400);
  const Bid sub = w.writeSubnodeTree({{big, w.writeData(pattern(bigSize, 2)), 0}});
  w.addNode(0x21, w.writeData(storePc(big)), sub, 0);
  w.finish();
}

void expectReadable(const std::filesystem::path& path, size_t bigSize) {
  const int rc = run("/usr/bin/python3 " VANTOREL_NDB_TEST_DIR "/read_store_with_pypff.py '" + path.string() + "' " +
                     std::to_string(bigSize));
  if (WIFEXITED(rc) && WEXITSTATUS(rc) == 3) GTEST_SKIP() << "pypff is not installed";
  EXPECT_EQ(rc, 0) << "pypff could not read back " << path;
  EXPECT_EQ(run("pffinfo '" + path.string() + "'"), 0) << "pffinfo rejected " << path;
}

TEST(Libpff, ReadsValuesThroughDataAndSubnodeTrees) {
  test::TempDir dir;
  const auto path = dir.file("store.pst");
  writeStore(path, 100000, 0);  // the big value needs an XBLOCK
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  expectReadable(path, 100000);
  // The oracle must tell a wrong value from a right one.
  EXPECT_NE(run("/usr/bin/python3 " VANTOREL_NDB_TEST_DIR "/read_store_with_pypff.py '" + path.string() + "' 99999"), 0);
}

TEST(Libpff, ReadsAFileSpanningManyAMapRegions) {
  test::TempDir dir;
  const auto path = dir.file("regions.pst");
  // 40 MB: past region 128, where the first FMap lives, and an XXBLOCK-sized value.
  writeStore(path, 1021 * 8176 + 1, 32u << 20);
  EXPECT_GT(std::filesystem::file_size(path), 0x1F04800u);
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  expectReadable(path, 1021 * 8176 + 1);
}

}  // namespace
}  // namespace pst::ndb
