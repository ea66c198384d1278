#include "messagelist/message_filter.h"

namespace messagelist {

bool IsMessageFileName(std::string_view path) {
  const auto last = path.find_last_not_of(' ');
  if (last == std::string_view::npos) return false;
  const std::string_view trimmed = path.substr(0, last + 1);
  constexpr std::string_view kSuffix = ".msg";
  if (trimmed.size() < kSuffix.size()) return false;
  // ASCII folding is exact here: no other character lower-cases to '.', 'm', 's' or 'g', and
  // the bytes of a multi-byte UTF-8 character are never ASCII.
  const std::string_view tail = trimmed.substr(trimmed.size() - kSuffix.size());
  for (std::size_t i = 0; i < kSuffix.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kSuffix[i]) return false;
  }
  return true;
}

}  // namespace messagelist
