// The command line of vantorel-convert: GNU-style options, parsed by getopt_long from one table.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kProgram = "vantorel-convert";

struct Options {
  std::filesystem::path outputFolder;  // empty: the current folder
  std::filesystem::path skippedList;   // empty: no list file
  std::vector<std::string> paths;      // message files or folders, in the order given
  bool help = false;
  bool version = false;
  std::string error;  // one line naming the problem, for a usage error
};

// `args` without the program name. Options may come before, between or after the paths;
// "--" ends the options; long options may be abbreviated while the abbreviation is unique.
Options ParseOptions(const std::vector<std::string>& args);

// The --help text, options and exit statuses included.
std::string UsageText();

// The second line of every usage error.
std::string TryHelpLine();

}  // namespace cli
