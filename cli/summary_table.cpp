#include "cli/summary_table.h"

#include <algorithm>

#include "cli/terminal_text.h"

namespace cli {

std::string SizeText(uint64_t bytes) {
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

void PrintSummary(std::FILE* out, const std::vector<SummaryRow>& rows) {
  struct Line {
    std::string cells[5];
  };
  std::vector<Line> lines{{{"mailbox", "messages", "skipped", "PST size", "file"}}};
  for (const SummaryRow& row : rows) {
    Line first{{EscapeControls(row.mailbox), std::to_string(row.messages), std::to_string(row.skipped), "", ""}};
    const bool own = !row.started || !row.failure.empty();  // a line of its own, before any kept part
    if (!row.started) {
      first.cells[3] = "-";
      first.cells[4] = "not started";
    } else if (!row.failure.empty()) {
      first.cells[3] = "-";
      first.cells[4] = "not completed: " + EscapeControls(row.failure);
    }
    if (own || row.files.empty()) lines.push_back(first);
    for (size_t i = 0; i < row.files.size(); ++i) {
      Line line = i == 0 && !own ? first : Line{};
      std::error_code ec;
      const uint64_t size = std::filesystem::file_size(row.files[i], ec);
      line.cells[3] = ec ? "?" : SizeText(size);
      line.cells[4] = EscapeControls(row.files[i].string());
      lines.push_back(line);
    }
  }
  size_t width[4] = {};
  for (const Line& line : lines)
    for (size_t c = 0; c < 4; ++c) width[c] = std::max(width[c], line.cells[c].size());
  for (const Line& line : lines) {
    // Names left-aligned, numbers right-aligned.
    std::fprintf(out, "%-*s  %*s  %*s  %*s  %s\n", static_cast<int>(width[0]), line.cells[0].c_str(),
                 static_cast<int>(width[1]), line.cells[1].c_str(), static_cast<int>(width[2]), line.cells[2].c_str(),
                 static_cast<int>(width[3]), line.cells[3].c_str(), line.cells[4].c_str());
  }
}

}  // namespace cli
