#include "cli/summary_table.h"

#include <algorithm>

#include "cli/terminal_text.h"
#include "platform/console.h"

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
      line.cells[4] = ShownPath(row.files[i].string());
      lines.push_back(line);
    }
  }
  // Widths in characters, not bytes: a name such as "back＼slash" keeps the columns straight.
  auto characters = [](const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  };
  size_t width[4] = {};
  for (const Line& line : lines)
    for (size_t c = 0; c < 4; ++c) width[c] = std::max(width[c], characters(line.cells[c]));
  for (const Line& line : lines) {
    // Names left-aligned, numbers right-aligned.
    std::string text = line.cells[0] + std::string(width[0] - characters(line.cells[0]), ' ');
    for (size_t c = 1; c < 4; ++c) text += "  " + std::string(width[c] - characters(line.cells[c]), ' ') + line.cells[c];
    platform::writeText(out, text + "  " + line.cells[4] + "\n");
  }
}

}  // namespace cli
