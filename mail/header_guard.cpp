#include "mail/header_guard.h"

#include <strings.h>

#include <cstring>

namespace mail {
namespace {

// Control characters never part of real header text, one for each character they stand for.
constexpr char kMarker = '\x1A';  // the '?' of "=?"
struct NestingMarkers {
  char groupOpen, groupClose, commentOpen, commentClose;
};
constexpr NestingMarkers kNestingMarkers{'\x1C', '\x1D', '\x1E', '\x1F'};
constexpr NestingMarkers kNestingBlanks{' ', ' ', ' ', ' '};
constexpr const char* kDefusedKey = "vantorel-defused-headers";

// Finds where the quoted string or angle bracket opened at text[open] closes: GMime takes a
// '"' or '<' without its closer for a plain character. Once nothing closes what opened at some
// position, nothing closes what opens later either, which `unclosedFrom` remembers so that a
// field full of openers costs one search, not one each.
bool closes(const char* text, size_t open, size_t end, char closer, size_t& unclosedFrom) {
  if (open >= unclosedFrom) return false;
  for (size_t i = open + 1; i < end; ++i) {
    if (closer == '"' && text[i] == '\\') {
      ++i;
    } else if (text[i] == closer) {
      return true;
    }
  }
  unclosedFrom = open;
  return false;
}

// Replaces, in text[begin, end), the openers nested deeper than kMaxAddressNesting and their
// closers, and the colons beyond kMaxAddressColons. Quoted strings, comments and angle
// brackets are followed as GMime reads them. Returns whether anything was replaced.
bool boundNesting(char* text, size_t begin, size_t end, const NestingMarkers& with) {
  bool changed = false;
  bool quoted = false, angle = false;
  int comments = 0, groups = 0, colons = 0;
  int deepComments = 0, deepGroups = 0;  // openers replaced and not yet closed
  size_t unclosedQuote = end, unclosedAngle = end;
  auto replace = [&](size_t i, char marker) {
    text[i] = marker;
    changed = true;
  };
  for (size_t i = begin; i < end; ++i) {
    const char c = text[i];
    if (c == ':' && ++colons > kMaxAddressColons) {
      replace(i, with.groupOpen);
      continue;
    }
    if ((quoted || comments > 0) && c == '\\') {
      ++i;
      continue;
    }
    if (quoted) {
      quoted = c != '"';
      continue;
    }
    if (c == '(') {
      if (comments < kMaxAddressNesting) {
        ++comments;
      } else {
        replace(i, with.commentOpen);
        ++deepComments;
      }
    } else if (c == ')' && comments > 0) {
      if (deepComments > 0) {
        replace(i, with.commentClose);
        --deepComments;
      } else {
        --comments;
      }
    } else if (comments > 0) {
      continue;
    } else if (c == '"') {
      quoted = closes(text, i, end, '"', unclosedQuote);
    } else if (c == '<' && !angle) {
      angle = closes(text, i, end, '>', unclosedAngle);
    } else if (c == '>') {
      angle = false;
    } else if (angle) {
      continue;  // a source route's colon opens no group
    } else if (c == ':') {
      if (groups < kMaxAddressNesting) {
        ++groups;
      } else {
        replace(i, with.groupOpen);
        ++deepGroups;
      }
    } else if (c == ';' && groups > 0) {
      if (deepGroups > 0) {
        replace(i, with.groupClose);
        --deepGroups;
      } else {
        --groups;
      }
    }
  }
  return changed;
}

// The address fields GMime parses as it reads a message's header block.
bool startsAddressField(const char* line, size_t length, size_t& valueStart) {
  static constexpr std::string_view kNames[] = {"to", "cc", "bcc", "from", "sender", "reply-to"};
  for (std::string_view name : kNames) {
    if (length <= name.size() || strncasecmp(line, name.data(), name.size()) != 0) continue;
    size_t colon = name.size();
    while (colon < length && (line[colon] == ' ' || line[colon] == '\t')) ++colon;
    if (colon < length && line[colon] == ':') {
      valueStart = colon + 1;
      return true;
    }
  }
  return false;
}

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

void boundAddressNesting(std::string& value) { boundNesting(value.data(), 0, value.size(), kNestingBlanks); }

bool boundAddressNestingInPlace(char* data, size_t begin, size_t end) {
  bool changed = false;
  size_t i = begin;
  while (i < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(data + i, '\n', end - i));
    size_t next = lineEnd ? static_cast<size_t>(lineEnd - data) + 1 : end;
    size_t valueStart = 0;
    if (startsAddressField(data + i, next - i, valueStart)) {
      // The field runs on through its continuation lines.
      while (next < end && (data[next] == ' ' || data[next] == '\t')) {
        const char* more = static_cast<const char*>(std::memchr(data + next, '\n', end - next));
        next = more ? static_cast<size_t>(more - data) + 1 : end;
      }
      changed = boundNesting(data, i + valueStart, next, kNestingMarkers) || changed;
    }
    i = next;
  }
  return changed;
}

void markDefused(GMimeObject* object) { g_object_set_data(G_OBJECT(object), kDefusedKey, GINT_TO_POINTER(1)); }

bool isDefused(GMimeObject* object) { return g_object_get_data(G_OBJECT(object), kDefusedKey) != nullptr; }

std::string restoredHeaderText(GMimeObject* object, std::string_view raw) {
  std::string text(raw);
  if (!isDefused(object)) return text;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kMarker && i > 0 && text[i - 1] == '=') text[i] = '?';
    else if (c == kNestingMarkers.groupOpen) text[i] = ':';
    else if (c == kNestingMarkers.groupClose) text[i] = ';';
    else if (c == kNestingMarkers.commentOpen) text[i] = '(';
    else if (c == kNestingMarkers.commentClose) text[i] = ')';
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
