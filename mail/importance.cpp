#include "mail/importance.h"

#include <cctype>
#include <string>


namespace mail {
namespace {

std::string lowerTrimmed(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!out.empty()) out.push_back(' ');
      continue;
    }
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool startsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

int32_t importanceFromImportance(std::string_view value, int32_t fallback) {
  const std::string v = lowerTrimmed(value);
  if (startsWith(v, "low")) return 0;
  if (startsWith(v, "normal")) return 1;
  if (startsWith(v, "high")) return 2;
  return fallback;
}

int32_t importanceFromXPriority(std::string_view value, int32_t fallback) {
  const std::string v = lowerTrimmed(value);
  if (v.empty()) return fallback;
  switch (v[0]) {
    case '1':
    case '2':
      return 2;
    case '3':
      return 1;
    case '4':
    case '5':
      return 0;
    default:
      return importanceFromImportance(v, fallback);
  }
}

MessageMarks readMarks(const HeaderFields& fields) {
  MessageMarks marks;
  if (auto priority = fields.first("Priority")) {
    const std::string v = lowerTrimmed(*priority);
    if (startsWith(v, "urgent")) {
      marks.priority = 1;
      marks.importance = 2;
    } else if (startsWith(v, "non-urgent")) {
      marks.priority = -1;
      marks.importance = 0;
    }
  }
  if (auto msmail = fields.first("X-MSMail-Priority")) marks.importance = importanceFromImportance(*msmail, marks.importance);
  if (auto xPriority = fields.first("X-Priority")) marks.importance = importanceFromXPriority(*xPriority, marks.importance);
  if (auto importance = fields.first("Importance")) marks.importance = importanceFromImportance(*importance, marks.importance);
  if (auto sensitivity = fields.first("Sensitivity")) {
    const std::string v = lowerTrimmed(*sensitivity);
    if (startsWith(v, "personal")) marks.sensitivity = 1;
    else if (startsWith(v, "private")) marks.sensitivity = 2;
    else if (startsWith(v, "company-confidential") || startsWith(v, "confidential")) marks.sensitivity = 3;
  }
  return marks;
}

}  // namespace mail
