// GMime 3.2.13 takes time quadratic in the number of unterminated "=?" in a header it decodes
// while parsing (Subject, address fields): a crafted 1 MB header stalls the import for minutes.
// Overlong top-level header fields are therefore defused before GMime sees them and restored
// when their raw text is read back.
#pragma once

#include <gmime/gmime.h>

#include <string>
#include <string_view>

namespace mail {

// Fields longer than this are defused; real header fields are far shorter.
constexpr size_t kLongHeaderField = 16384;

// Replaces "=?" by a marker inside every header field in [begin, end) longer than
// kLongHeaderField. Returns whether anything was replaced.
bool defuseLongHeaderFields(char* data, size_t begin, size_t end);

// Notes on the parsed message that its raw header values carry markers.
void markDefused(GMimeObject* object);

// Raw header text as it was in the file (markers turned back into "=?" when defused).
std::string restoredHeaderText(GMimeObject* object, std::string_view raw);

// For address parsing of an overlong value: "=?" that survived our own decoding is no encoded
// word, and is split so that GMime does not rescan it.
std::string withoutStrayEncodedWordStarts(std::string text);

}  // namespace mail
