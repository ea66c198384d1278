#include "mail/subject.h"

namespace mail {

SubjectParts splitSubject(std::string_view subject) {
  // Counted in characters: a UTF-8 continuation byte belongs to the character before it.
  size_t chars = 0;
  size_t i = 0;
  for (; i < subject.size() && chars <= 3; ++i) {
    const auto c = static_cast<unsigned char>(subject[i]);
    if (c == ':') break;
    if (c == ' ' || c == '\t' || (c >= '0' && c <= '9')) return {"", std::string(subject)};
    if ((c & 0xC0) != 0x80) ++chars;
  }
  if (i >= subject.size() || subject[i] != ':' || chars == 0 || chars > 3) return {"", std::string(subject)};
  size_t rest = i + 1;
  while (rest < subject.size() && (subject[rest] == ' ' || subject[rest] == '\t')) ++rest;
  return {std::string(subject.substr(0, i)) + ": ", std::string(subject.substr(rest))};
}

}  // namespace mail
