// The message list of the command line: named files as they are, folders scanned the way the
// window's add-folder command scans them.
#pragma once

#include <string>
#include <vector>

#include "cli/path_list.h"
#include "conversion/engine.h"

namespace cli {

struct CollectedFiles {
  PathList files;  // full paths, in the order found
  // What was found but cannot be converted, in the order found: folders that could not be
  // read (their paths end in "/"), and message files that are no regular files, dangling or
  // looping links, or paths longer than the system allows. Reported with the run's own skips.
  std::vector<conversion::SkippedEntry> skipped;
};

// Why `path`, given on the command line, cannot be converted: it does not exist, or is neither
// a file nor a folder (a device, a pipe, a socket). Empty when it can be listed.
std::string UnusablePathProblem(const std::string& path);

// Each path becomes absolute. A folder contributes every file below it whose name ends in
// ".msg" in any letter case, breadth-first; any other path is listed as given, so that a
// missing or unreadable file is reported with the files that were skipped, unless it cannot
// be a message file at all (a pipe, a device, a broken link...), which is skipped at once.
CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths);

}  // namespace cli
