// The progress line: count, rate, time left and the bar.
#include <gtest/gtest.h>

#include "cli/progress_view.h"

namespace cli {
namespace {

TEST(ProgressLine, ShowsCountRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine(100, 1000, 2.0, 0), "100/1000 files  50 msg/s  0:18 left");
  EXPECT_EQ(ProgressLine(1, 100000, 1.0, 0), "1/100000 files  1 msg/s  27:46:39 left");
  EXPECT_EQ(ProgressLine(0, 10, 0.0, 0), "0/10 files");
  EXPECT_EQ(ProgressLine(5, 5, 1.0, 0), "5/5 files  5 msg/s  0:00 left");
}

TEST(ProgressLine, BarFillsInProportion) {
  EXPECT_EQ(ProgressLine(5, 10, 1.0, 10).substr(0, 12), "[#####-----]");
  EXPECT_EQ(ProgressLine(10, 10, 1.0, 4).substr(0, 6), "[####]");
  EXPECT_EQ(ProgressLine(0, 0, 0.0, 4).substr(0, 6), "[----]");
}

}  // namespace
}  // namespace cli
