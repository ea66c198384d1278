// How vantorel-convert tells what it skipped: the first few on standard error, and, for
// scripts, every one in the file of --skipped-list. Every kind of skipped entry the run
// reports goes through here.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/engine.h"

namespace cli {

// Skipped entries shown on standard error before "and N more".
inline constexpr size_t kSkippedShown = 10;

// "vantorel-convert: skipped PATH: REASON" for the first kSkippedShown entries, then one line
// for the rest. `listFile` (empty: none) is named there as the place that holds them all.
void PrintSkipped(std::FILE* out, const std::vector<conversion::SkippedEntry>& skipped,
                  const std::filesystem::path& listFile);
// The same lines as one text, for a run that tells them together with its other lines.
std::string SkippedText(const std::vector<conversion::SkippedEntry>& skipped, const std::filesystem::path& listFile);

// The --skipped-list file: opened before the run, so that a name that cannot be written is
// reported before any work is done, and filled once the run is over.
class SkippedListFile {
 public:
  // Creates or empties `path`; on failure returns false and sets `problem`.
  bool open(const std::filesystem::path& path, std::string& problem);
  // One line per entry: the path, a tab, the reason, both escaped as on the terminal.
  // Returns false and sets `problem` when the file could not be completed.
  bool write(const std::vector<conversion::SkippedEntry>& skipped, std::string& problem);
  ~SkippedListFile();

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
};

}  // namespace cli
