// The table that ends a run of several PSTs (--per-mailbox): mailbox, messages, skipped, PST
// size, file; a PST in parts takes a line for each part. A mailbox whose PST was not completed
// says so on its own line, with the parts kept before the failure on the lines below it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace cli {

struct SummaryRow {
  std::string mailbox;
  size_t messages = 0;
  size_t skipped = 0;
  std::vector<std::filesystem::path> files;  // completed, in order
  std::string failure;                       // empty when the PST was completed
  bool started = true;                       // false: the run was stopped before this mailbox
};

void PrintSummary(std::FILE* out, const std::vector<SummaryRow>& rows);

// "512 KB", "3.4 MB", "20.0 GB" (units of 1024).
std::string SizeText(uint64_t bytes);

}  // namespace cli
