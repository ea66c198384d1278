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

// Each path becomes absolute. A folder contributes every file below it whose name ends in
// ".msg" in any letter case, breadth-first; anything else is listed as given, so that a
// missing or unreadable file is reported with the files that were skipped.
CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths);

}  // namespace cli
