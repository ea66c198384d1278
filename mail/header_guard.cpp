#include "mail/header_guard.h"

namespace mail {
namespace {

constexpr char kMarker = '\x1A';  // SUB: never part of real header text
constexpr const char* kDefusedKey = "vantorel-defused-headers";

}  // namespace

bool defuseLongHeaderFields(char* data, size_t begin, size_t end) {
  bool changed = false;
  size_t fieldStart = begin;
  auto finishField = [&](size_t fieldEnd) {
    if (fieldEnd - fieldStart <= kLongHeaderField) return;
    for (size_t i = fieldStart; i + 1 < fieldEnd; ++i) {
      if (data[i] == '=' && data[i + 1] == '?') {
        data[i + 1] = kMarker;
        changed = true;
      }
    }
  };
  size_t i = begin;
  while (i < end) {
    size_t lineEnd = i;
    while (lineEnd < end && data[lineEnd] != '\n' && data[lineEnd] != '\r') ++lineEnd;
    size_t next = lineEnd;
    if (next < end && data[next] == '\r') ++next;
    if (next < end && data[next] == '\n') ++next;
    const bool continuation = next < end && (data[next] == ' ' || data[next] == '\t');
    if (!continuation) {
      finishField(next);
      fieldStart = next;
    }
    i = next;
  }
  if (fieldStart < end) finishField(end);
  return changed;
}

void markDefused(GMimeObject* object) { g_object_set_data(G_OBJECT(object), kDefusedKey, GINT_TO_POINTER(1)); }

std::string restoredHeaderText(GMimeObject* object, std::string_view raw) {
  std::string text(raw);
  if (!g_object_get_data(G_OBJECT(object), kDefusedKey)) return text;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '=' && text[i + 1] == kMarker) text[i + 1] = '?';
  }
  return text;
}

std::string withoutStrayEncodedWordStarts(std::string text) {
  if (text.size() <= kLongHeaderField) return text;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '=' && i + 1 < text.size() && text[i + 1] == '?') out.push_back(' ');
  }
  return out;
}

}  // namespace mail
