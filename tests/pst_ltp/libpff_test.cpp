// libpff walks folder trees whose hierarchy tables our table writer built.
#include <gtest/gtest.h>

#include "folder_store.h"
#include "ltp_test_util.h"
#include "pst/verify/verify.h"

namespace pst::ltp {
namespace {

std::vector<std::string> foldersSeenByLibpff(const std::filesystem::path& file, bool& available) {
  const std::string cmd = "/usr/bin/python3 " VANTOREL_LTP_TEST_DIR "/read_folders_with_pypff.py '" + file.string() + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  std::vector<std::string> names;
  char line[256];
  while (pipe && std::fgets(line, sizeof line, pipe.get())) {
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    names.push_back(s);
  }
  const int rc = pclose(pipe.release());
  available = !(WIFEXITED(rc) && WEXITSTATUS(rc) == 3);
  EXPECT_TRUE(!available || rc == 0) << "pypff failed on " << file;
  return names;
}

void expectFolders(size_t count) {
  test::TempDir dir;
  const auto path = dir.file("folders.pst");
  test::writeFolderStore(path, count);
  EXPECT_EQ(verify::verifyFile(path).errorCount(), 0u);
  bool available = false;
  const auto names = foldersSeenByLibpff(path, available);
  if (!available) GTEST_SKIP() << "pypff is not installed";
  ASSERT_EQ(names.size(), count);
  for (size_t i = 0; i < count; ++i) EXPECT_EQ(names[i], "Folder " + std::to_string(i));
}

TEST(Libpff, WalksAHierarchyTableKeptInTheHeap) { expectFolders(3); }

// 600 rows of 55 bytes: the row matrix spans five subnode blocks and the row index two leaves.
TEST(Libpff, WalksAHierarchyTableWithRowsInASubnode) { expectFolders(600); }

}  // namespace
}  // namespace pst::ltp
