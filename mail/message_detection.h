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
  size_t bodyStart = 0;    // where the body begins: past the separator line, if there is one
  std::string reason;      // for the user, when !isMessage
};

// The rule: after an optional UTF-8 byte order mark and an optional mbox "From " line, the text must open with a well-formed header
// field ("Name: value"), and the header block must hold at least one field that mail carries,
// such as From, To, Subject, Date, Received, Message-ID or Content-Type.
// The header block ends at the first empty line or before the first line that is no header
// field; a line of nothing but blanks continues the field before it (as folding may), so a
// separator that some writer padded with a space ends the block at the text after it.
// Everything after the header block is body, as mail readers take it: no text is dropped.
// One exception keeps damaged header blocks whole: a line that is no field but is followed,
// up to the empty line, only by header fields among which one that mail carries (a fold that
// lost its indent, a line garbled in transit) belongs to the header block.
Detection detectMessage(std::string_view bytes);

// The field name when `line` is "Name: ..." (blanks before the colon allowed), empty otherwise.
std::string_view headerFieldName(std::string_view line);

}  // namespace mail
