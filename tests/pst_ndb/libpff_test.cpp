// Files from our writer read back through libpff (pypff and pffinfo), an independent reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "minimal_store.h"
#include "pst/ndb/ndb_writer.h"
#include "pst/verify/verify.h"
#include "temp_dir.h"

namespace pst::ndb {
namespace {

using test::Bytes;
using test::pattern;

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

void writeStore(const std::filesystem::path& path, size_t bigSize, size_t fillerBytes) {
  NdbWriter w(path);
  // Filler nodes first, so the store sits far into the file. Their type holds raw data, not a heap.
  const Bytes filler = pattern(8176, 9);
  for (size_t done = 0; done < fillerBytes; done += filler.size())
    w.addNode(w.allocateNid(NidType::SearchUpdateQueue), w.writeData(filler), 0, 0);
  test::addMinimalStore(w, bigSize);
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
