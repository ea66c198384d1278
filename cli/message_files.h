// The message list of the command line: named files as they are, folders scanned the way the
// window's add-folder command scans them.
#pragma once

#include <string>
#include <vector>

#include "cli/path_list.h"

namespace cli {

struct CollectedFiles {
  PathList files;                  // full paths, in the order found
  int unreadableFolders = 0;       // folders (or parts of them) that could not be listed
};

// Why `path`, given on the command line, cannot be converted: it does not exist, or is neither
// a file nor a folder (a device, a pipe, a socket). Empty when it can be listed.
std::string UnusablePathProblem(const std::string& path);

// Each path becomes absolute. A folder contributes every file below it whose name ends in
// ".msg" in any letter case, breadth-first; a file is listed as given, whatever its name, so
// that one that cannot be read is reported with the files that were skipped.
CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths);

}  // namespace cli
