#include "mail/header_access.h"

#include <strings.h>

#include "mail/charset.h"
#include "mail/encoded_words.h"
#include "mail/header_guard.h"

namespace mail {

std::optional<std::string> rawHeader(GMimeObject* object, const char* name) {
  GMimeHeaderList* list = g_mime_object_get_header_list(object);
  if (!list) return std::nullopt;
  const int count = g_mime_header_list_get_count(list);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* headerName = g_mime_header_get_name(header);
    if (headerName && strcasecmp(headerName, name) == 0) {
      const char* value = g_mime_header_get_raw_value(header);
      return restoredHeaderText(object, value ? value : "");
    }
  }
  return std::nullopt;
}

std::string headerText(GMimeObject* object, const char* name, std::string_view likelyCharset) {
  auto raw = rawHeader(object, name);
  return raw ? decodeHeaderText(*raw, likelyCharset) : std::string();
}

std::string headerText(const HeaderFields& fields, const char* name, std::string_view likelyCharset) {
  auto raw = fields.first(name);
  return raw ? decodeHeaderText(*raw, likelyCharset) : std::string();
}

std::string headerBlockText(const HeaderFields& fields, std::string_view likelyCharset) {
  std::string block;
  // Names, colons and values, plus one CR per line end at the most: reserved once, so a header
  // block of many megabytes costs its size and not the double of it while it grows.
  size_t lineEnds = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto field = fields.at(i);
    for (char c : field.value) lineEnds += c == '\n';
    lineEnds += 1;
  }
  block.reserve(fields.textSize() + fields.size() + 2 * lineEnds);
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto field = fields.at(i);
    if (!field.damaged) {
      block += field.rawName;
      block += ':';
    }
    // Raw values keep their folding; normalise every line end to CRLF.
    for (char c : field.value) {
      if (c == '\r') continue;
      if (c == '\n') {
        block += "\r\n";
      } else {
        block += c;
      }
    }
    if (block.size() < 2 || block.compare(block.size() - 2, 2, "\r\n") != 0) block += "\r\n";
  }
  return decodeUndeclaredOwned(std::move(block), likelyCharset);
}

}  // namespace mail
