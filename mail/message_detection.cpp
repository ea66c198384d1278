#include "mail/message_detection.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace mail {
namespace {

constexpr std::string_view kOle2Magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

bool isKnownMailHeader(std::string_view name) {
  static constexpr std::string_view kKnown[] = {
      "from", "to", "cc", "bcc", "subject", "date", "message-id", "received", "return-path", "sender",
      "reply-to", "mime-version", "content-type", "content-transfer-encoding", "in-reply-to", "references",
      "delivered-to", "x-mailer", "user-agent", "x-mdarrival-date", "x-envelope-from", "x-priority",
      "importance", "organization", "newsgroups", "resent-from", "resent-date", "thread-index", "thread-topic",
      "x-mdaemon-deliver-to", "x-return-path", "dkim-signature", "authentication-results", "list-id",
      "x-original-to", "envelope-to", "content-disposition", "path", "x-sender", "comments", "keywords"};
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::find(std::begin(kKnown), std::end(kKnown), lower) != std::end(kKnown);
}

// Line [pos, end) without its terminator; next is where the following line starts.
struct Line {
  std::string_view text;
  size_t next = 0;
};

Line lineAt(std::string_view bytes, size_t pos) {
  size_t end = pos;
  while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
  size_t next = end;
  if (next < bytes.size() && bytes[next] == '\r') ++next;
  if (next < bytes.size() && bytes[next] == '\n') ++next;
  return {bytes.substr(pos, end - pos), next};
}

}  // namespace

std::string_view headerFieldName(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 76) return {};
  std::string_view name = line.substr(0, colon);
  // Some writers put blanks before the colon ("Subject : x"); tolerate trailing ones only.
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.empty()) return {};
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127) return {};
  }
  return name;
}

namespace {

// Whether the lines from `pos` to the next empty line are header fields and continuations
// only, one of them a field that mail carries: a damaged line before them is then part of the
// header block.
bool headerFieldsFollow(std::string_view bytes, size_t pos) {
  bool knownSeen = false;
  while (pos < bytes.size()) {
    const Line line = lineAt(bytes, pos);
    if (line.text.empty()) break;
    if (line.text[0] != ' ' && line.text[0] != '\t') {
      const std::string_view name = headerFieldName(line.text);
      if (name.empty()) return false;
      knownSeen = knownSeen || isKnownMailHeader(name);
    }
    pos = line.next;
  }
  return knownSeen;
}

}  // namespace

Detection detectMessage(std::string_view bytes) {
  Detection result;
  if (bytes.empty()) {
    result.reason = "The file is empty (0 bytes), so there is no message to import. Check that the file was "
                    "copied completely from the mail server.";
    return result;
  }
  if (bytes.substr(0, kOle2Magic.size()) == kOle2Magic) {
    result.reason = "The file is an Outlook item (.msg in Outlook's own binary format), not an Internet message. "
                    "Open it in Outlook and drag it into the PST there instead.";
    return result;
  }
  size_t pos = 0;
  // Editors on Windows may have saved the file with a UTF-8 byte order mark.
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  if (bytes.substr(pos, 5) == "From ") pos = lineAt(bytes, pos).next;
  result.headerStart = pos;

  bool firstLine = true;
  bool knownSeen = false;
  size_t bodyStart = bytes.size();
  while (pos < bytes.size()) {
    const Line line = lineAt(bytes, pos);
    if (line.text.empty()) {  // the separator line
      bodyStart = line.next;
      break;
    }
    if (line.text[0] == ' ' || line.text[0] == '\t') {
      if (firstLine) break;  // a continuation line cannot open the header block
      pos = line.next;
      continue;
    }
    const std::string_view name = headerFieldName(line.text);
    if (name.empty()) {
      if (!firstLine && headerFieldsFollow(bytes, line.next)) {
        pos = line.next;  // a damaged line inside the header block
        continue;
      }
      bodyStart = pos;  // body text right after the header fields, without a separator
      break;
    }
    knownSeen = knownSeen || isKnownMailHeader(name);
    firstLine = false;
    pos = line.next;
  }
  if (firstLine || !knownSeen) {
    result.reason = "The file is not an Internet mail message: it does not begin with mail header lines such as "
                    "\"From:\", \"Subject:\" or \"Date:\". Check that it is a message file of the mail server, not "
                    "another kind of file that was given the .msg extension.";
    return result;
  }
  result.isMessage = true;
  result.headerEnd = pos;
  result.bodyStart = std::max(bodyStart, pos);
  return result;
}

}  // namespace mail
