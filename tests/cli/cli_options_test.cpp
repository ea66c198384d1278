// The command line: options, paths and usage errors.
#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace cli {
namespace {

TEST(ParseOptions, TakesPathsInOrderAndTheOutputFolderInAnyPosition) {
  Options o = ParseOptions({"a", "-o", "/out", "b.msg"});
  EXPECT_TRUE(o.error.empty());
  EXPECT_EQ(o.outputFolder, "/out");
  EXPECT_EQ(o.paths, (std::vector<std::string>{"a", "b.msg"}));
  EXPECT_EQ(ParseOptions({"--output=/x", "a"}).outputFolder, "/x");
  // After "--" even a name starting with "-" is a path.
  EXPECT_EQ(ParseOptions({"--", "-o", "--help"}).paths, (std::vector<std::string>{"-o", "--help"}));
}

TEST(ParseOptions, ReportsUsageErrors) {
  EXPECT_FALSE(ParseOptions({}).error.empty());
  EXPECT_FALSE(ParseOptions({"-o"}).error.empty());
  EXPECT_FALSE(ParseOptions({"-o", "", "a"}).error.empty());
  EXPECT_FALSE(ParseOptions({"--output=", "a"}).error.empty());
  EXPECT_FALSE(ParseOptions({"-o", "x", "-o", "y", "a"}).error.empty());
  EXPECT_NE(ParseOptions({"-x", "a"}).error.find("-x"), std::string::npos);
}

TEST(ParseOptions, HelpAndVersionNeedNoPaths) {
  EXPECT_TRUE(ParseOptions({"--help"}).help);
  EXPECT_TRUE(ParseOptions({"-h"}).error.empty());
  EXPECT_TRUE(ParseOptions({"--version"}).version);
  EXPECT_NE(UsageText("vantorel-convert").find("[-o DIR] PATH..."), std::string::npos);
}

}  // namespace
}  // namespace cli
