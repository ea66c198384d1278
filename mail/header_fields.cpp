#include "mail/header_fields.h"

#include <strings.h>

#include "mail/header_guard.h"
#include "mail/message_detection.h"

namespace mail {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

size_t lineEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
  return pos;
}

size_t nextLine(std::string_view text, size_t end) {
  if (end < text.size() && text[end] == '\r') ++end;
  if (end < text.size() && text[end] == '\n') ++end;
  return end;
}

}  // namespace

void HeaderFields::add(std::string_view rawName, std::string_view value, bool damaged) {
  Span span;
  span.damaged = damaged;
  span.start = text_.size();
  span.rawNameLength = rawName.size();
  size_t nameLength = rawName.size();
  while (nameLength > 0 && (rawName[nameLength - 1] == ' ' || rawName[nameLength - 1] == '\t')) --nameLength;
  span.nameLength = nameLength;
  text_.append(rawName);
  span.valueStart = text_.size();
  // Values are text: GMime ends them at a NUL byte, and so does this reading.
  value = value.substr(0, value.find('\0'));
  span.valueLength = value.size();
  text_.append(value);
  spans_.push_back(span);
}

HeaderFields HeaderFields::parse(std::string_view block) {
  HeaderFields fields;
  fields.text_.reserve(block.size());
  size_t pos = 0;
  while (pos < block.size()) {
    const size_t end = lineEnd(block, pos);
    // The value runs on through every continuation line, with its line ends.
    size_t next = nextLine(block, end);
    while (next < block.size() && (block[next] == ' ' || block[next] == '\t')) next = nextLine(block, lineEnd(block, next));
    const std::string_view line = block.substr(pos, end - pos);
    if (headerFieldName(line).empty()) {
      fields.add({}, block.substr(pos, next - pos), /*damaged=*/true);
    } else {
      const size_t colon = line.find(':');
      fields.add(block.substr(pos, colon), block.substr(pos + colon + 1, next - pos - colon - 1));
    }
    pos = next;
  }
  fields.text_.shrink_to_fit();
  return fields;
}

HeaderFields HeaderFields::of(GMimeObject* object) {
  HeaderFields fields;
  GMimeHeaderList* list = g_mime_object_get_header_list(object);
  if (!list) return fields;
  const int count = g_mime_header_list_get_count(list);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
    const char* name = g_mime_header_get_raw_name(header);
    const char* value = g_mime_header_get_raw_value(header);
    fields.add(name ? name : "", restoredHeaderText(object, value ? value : ""));
  }
  return fields;
}

HeaderFields::Field HeaderFields::at(size_t index) const {
  const Span& span = spans_[index];
  const std::string_view text(text_);
  return {text.substr(span.start, span.rawNameLength), text.substr(span.start, span.nameLength),
          text.substr(span.valueStart, span.valueLength), span.damaged};
}

std::optional<std::string_view> HeaderFields::first(std::string_view name) const {
  for (size_t i = 0; i < spans_.size(); ++i) {
    const Field field = at(i);
    if (!field.damaged && sameName(field.name, name)) return field.value;
  }
  return std::nullopt;
}

std::vector<std::string_view> HeaderFields::all(std::string_view name) const {
  std::vector<std::string_view> values;
  for (size_t i = 0; i < spans_.size(); ++i) {
    const Field field = at(i);
    if (!field.damaged && sameName(field.name, name)) values.push_back(field.value);
  }
  return values;
}

bool isMimeField(std::string_view name) { return name.size() >= 8 && strncasecmp(name.data(), "Content-", 8) == 0; }

}  // namespace mail
