// The timestamp in the names; the file a run writes, its free name and its final one.
#include <gtest/gtest.h>

#include <fstream>

#include "conversion/part_file.h"
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

std::string contentOf(const fs::path& file) {
  std::string text;
  std::getline(std::ifstream(file), text);
  return text;
}

TEST(PartFile, TakesTheFirstNameThatNeitherAFileALinkNorAnotherRunHolds) {
  test::TempDir dir;
  const fs::path wanted = dir.path() / "V.pst";
  dir.write("V.pst", "");
  dir.write("V (2).pst.part", "");
#ifdef _WIN32  // a link needs a privilege there; a file holds the name as well
  dir.write("V (3).pst", "");
#else
  fs::create_symlink("nowhere", dir.path() / "V (3).pst");
#endif
  PartFile first = PartFile::create(wanted);
  EXPECT_EQ(first.pstPath(), dir.path() / "V (4).pst");
  EXPECT_EQ(first.partPath(), dir.path() / "V (4).pst.part");
  EXPECT_TRUE(fs::is_regular_file(first.partPath()));
  // Runs started together: each moves on past the name the other took.
  PartFile second = PartFile::create(wanted);
  EXPECT_EQ(second.pstPath(), dir.path() / "V (5).pst");
  EXPECT_THROW(PartFile::create(dir.path() / "missing" / "V.pst"), std::runtime_error);
}

TEST(PartFile, TheFinalNameGoesOnlyToThisRunsFileAndNeverReplacesOne) {
  test::TempDir dir;
  PartFile part = PartFile::create(dir.path() / "V.pst");
  dir.write("V.pst", "old");  // taken while the run wrote
  EXPECT_EQ(part.publish(), dir.path() / "V (2).pst");
  EXPECT_EQ(contentOf(dir.path() / "V.pst"), "old");
  EXPECT_FALSE(fs::exists(part.partPath()));

  // Moved away, and another file took its name: that one is left alone.
  PartFile moved = PartFile::create(dir.path() / "W.pst");
  fs::rename(moved.partPath(), dir.path() / "elsewhere");
  dir.write("W.pst.part", "stranger");
  try {
    moved.publish();
    ADD_FAILURE() << "a stranger's file was renamed";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("now " + (dir.path() / "elsewhere").string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(contentOf(dir.path() / "W.pst.part"), "stranger");
  EXPECT_FALSE(fs::exists(dir.path() / "W.pst"));
  moved.discard();
  EXPECT_TRUE(fs::exists(dir.path() / "W.pst.part"));

  // Deleted during the run: the reason names no file that is gone.
  PartFile deleted = PartFile::create(dir.path() / "X.pst");
  fs::remove(deleted.partPath());
  EXPECT_TRUE(deleted.deleted());
  try {
    deleted.publish();
    ADD_FAILURE() << "a deleted file was published";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("deleted by another program"), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find(".part"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace conversion
