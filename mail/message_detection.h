// Decides whether bytes are an Internet message before any parsing, so that a file of another
// kind is rejected with a reason instead of becoming an empty message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mail {

struct Detection {
  bool isMessage = false;
  size_t headerStart = 0;  // offset of the first header field (after an mbox "From " line)
  size_t headerEnd = 0;    // offset just past the last header field line
  std::string reason;      // for the user, when !isMessage
};

// The rule: after an optional UTF-8 byte order mark and an optional mbox "From " line, the text must open with a well-formed header
// field ("Name: value"), and the header block (up to the first empty line or the first line
// that is no header field) must hold at least one field that mail carries, such as From, To,
// Subject, Date, Received, Message-ID or Content-Type.
Detection detectMessage(std::string_view bytes);

}  // namespace mail
