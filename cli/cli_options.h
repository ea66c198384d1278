// The command line of vantorel-convert.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

struct Options {
  std::filesystem::path outputFolder;  // empty: the current folder
  std::vector<std::string> paths;      // message files or folders, in the order given
  bool help = false;
  bool version = false;
  std::string error;  // set for a usage error
};

// `args` without the program name. "--" ends the options.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

}  // namespace cli
