// The timestamp in the names, free names and renaming without replacing.
#include <gtest/gtest.h>

#include <fstream>

#include "conversion/pst_file_name.h"
#include "temp_dir.h"

namespace conversion {
namespace {

namespace fs = std::filesystem;

TEST(PstFileName, TimestampPadsOnlyTheYearAndTheSeconds) {
  std::tm t{};
  t.tm_year = 100, t.tm_mon = 0, t.tm_mday = 1;
  EXPECT_EQ(FormatTimestamp(t), "1.1.00 0.0.00");
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 9;
  EXPECT_EQ(FormatTimestamp(t), "31.12.26 23.59.09");
}

TEST(PstFileName, FreeNamesSkipFilesLinksAndFilesBeingWritten) {
  test::TempDir dir;
  const fs::path wanted = dir.path() / "V.pst";
  EXPECT_EQ(FreePstPath(wanted), wanted);
  dir.write("V.pst", "");
  dir.write("V (2).pst.part", "");
  fs::create_symlink("nowhere", dir.path() / "V (3).pst");
  EXPECT_EQ(FreePstPath(wanted), dir.path() / "V (4).pst");
}

TEST(PstFileName, RenamingNeverReplacesAFile) {
  test::TempDir dir;
  const fs::path part = dir.write("V.pst.part", "new");
  dir.write("V.pst", "old");
  EXPECT_EQ(RenameWithoutReplacing(part, dir.path() / "V.pst"), dir.path() / "V (2).pst");
  std::string old;
  std::getline(std::ifstream(dir.path() / "V.pst"), old);
  EXPECT_EQ(old, "old");
  EXPECT_THROW(RenameWithoutReplacing(dir.path() / "gone.part", dir.path() / "gone.pst"), std::runtime_error);
}

}  // namespace
}  // namespace conversion
