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

std::vector<std::string> rawHeaders(GMimeObject* object, const char* name) {
  std::vector<std::string> values;
  GMimeHeaderList* list = g_mime_object_get_header_list(object);
  if (!list) return values;
  const int count = g_mime_header_list_get_count(list);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* headerName = g_mime_header_get_name(header);
    if (headerName && strcasecmp(headerName, name) == 0) {
      const char* value = g_mime_header_get_raw_value(header);
      values.push_back(restoredHeaderText(object, value ? value : ""));
    }
  }
  return values;
}

std::string headerText(GMimeObject* object, const char* name, std::string_view likelyCharset) {
  auto raw = rawHeader(object, name);
  return raw ? decodeHeaderText(*raw, likelyCharset) : std::string();
}

std::string headerBlockText(GMimeObject* object, std::string_view likelyCharset) {
  std::string block;
  GMimeHeaderList* list = g_mime_object_get_header_list(object);
  if (!list) return block;
  const int count = g_mime_header_list_get_count(list);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* name = g_mime_header_get_raw_name(header);
    const char* value = g_mime_header_get_raw_value(header);
    block += name ? name : "";
    block += ':';
    // Raw values keep their folding; normalise every line end to CRLF.
    const std::string_view v = value ? value : "";
    for (size_t k = 0; k < v.size(); ++k) {
      if (v[k] == '\r') continue;
      if (v[k] == '\n') {
        block += "\r\n";
      } else {
        block += v[k];
      }
    }
    if (block.size() < 2 || block.compare(block.size() - 2, 2, "\r\n") != 0) block += "\r\n";
  }
  return decodeUndeclared(restoredHeaderText(object, block), likelyCharset);
}

}  // namespace mail
