// The table that ends a run of several PSTs (--per-mailbox): mailbox, messages, skipped, PST
// size, file; a PST in parts takes a line for each part.
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
};

void PrintSummary(std::FILE* out, const std::vector<SummaryRow>& rows);

// "512 KB", "3.4 MB", "20.0 GB" (units of 1024).
std::string SizeText(uint64_t bytes);

}  // namespace cli
