// File and store names, free names and renaming without replacing.
#include <gtest/gtest.h>

#include <fstream>

#include "conversion/pst_file_name.h"
#include "temp_dir.h"

namespace conversion {
namespace {

namespace fs = std::filesystem;

std::tm at(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(PstFileName, TimestampHasNoLeadingZerosButInTheSecondsAndYear) {
  EXPECT_EQ(FormatTimestamp(at(2012, 6, 7, 21, 5, 4)), "7.6.12 21.5.04");
  EXPECT_EQ(FormatTimestamp(at(2000, 1, 1, 0, 0, 0)), "1.1.00 0.0.00");
  EXPECT_EQ(FormatTimestamp(at(2026, 12, 31, 23, 59, 59)), "31.12.26 23.59.59");
  EXPECT_EQ(PstFileName("7.6.12 21.5.04"), "Vantorel7.6.12 21.5.04.pst");
  EXPECT_EQ(StoreDisplayName("7.6.12 21.5.04"), "MDaemon Messages : Created - 7.6.12 21.5.04");
}

TEST(PstFileName, NumbersGoBeforeTheExtension) {
  const fs::path p = "/out/Vantorel7.6.12 21.5.04.pst";
  EXPECT_EQ(NumberedPath(p, 1), p);
  EXPECT_EQ(NumberedPath(p, 2), fs::path("/out/Vantorel7.6.12 21.5.04 (2).pst"));
  EXPECT_EQ(NumberedPath(p, 12), fs::path("/out/Vantorel7.6.12 21.5.04 (12).pst"));
  EXPECT_EQ(PartPath(p), fs::path("/out/Vantorel7.6.12 21.5.04.pst.part"));
}

TEST(PstFileName, AFreeNameIsNeitherTakenNorBeingWritten) {
  test::TempDir dir;
  const fs::path wanted = dir.path() / "V.pst";
  EXPECT_EQ(FreePstPath(wanted), wanted);
  dir.write("V.pst", "");
  dir.write("V (2).pst.part", "");
  fs::create_symlink("nowhere", dir.path() / "V (3).pst");  // a dangling link takes the name too
  EXPECT_EQ(FreePstPath(wanted), dir.path() / "V (4).pst");
}

TEST(PstFileName, RenamingNeverReplacesAFile) {
  test::TempDir dir;
  const fs::path part = dir.write("V.pst.part", "new");
  dir.write("V.pst", "old");
  const fs::path given = RenameWithoutReplacing(part, dir.path() / "V.pst");
  EXPECT_EQ(given, dir.path() / "V (2).pst");
  std::string old;
  std::getline(std::ifstream(dir.path() / "V.pst"), old);
  EXPECT_EQ(old, "old");
  EXPECT_FALSE(fs::exists(part));
  EXPECT_THROW(RenameWithoutReplacing(dir.path() / "gone.part", dir.path() / "gone.pst"), std::runtime_error);
}

}  // namespace
}  // namespace conversion
