// Header text that would make GMime 3.2.13 fail is defused before GMime sees it, and restored
// when its raw text is read back:
// - GMime takes time quadratic in the number of unterminated "=?" in a header it decodes while
//   parsing (Subject, address fields): a crafted 1 MB header stalls the import for minutes.
// - GMime parses address groups recursively: a field of tens of thousands of nested groups
//   ("g: g: g: ... x@y ;;;") overflows the stack of the thread that parses it.
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

// Group and comment nesting allowed in an address field. No mail client writes more than one
// level of either (a group may not even hold another); this many cost GMime's recursive group
// parser about 13 KB of stack (some 200 bytes a level).
constexpr int kMaxAddressNesting = 64;

// However an address parser reads quotes, comments and brackets, it cannot open more groups
// than a field has colons: past this many, every colon is neutralised, which bounds GMime's
// stack use to some 400 KB whatever the field holds. Real fields have a handful.
constexpr int kMaxAddressColons = 2048;

// For an address list about to be parsed: group and comment openers nested deeper than
// kMaxAddressNesting, the closers that match them, and colons beyond kMaxAddressColons become
// blanks.
void boundAddressNesting(std::string& value);

// The same inside message bytes [begin, end) for every address field GMime parses itself while
// it reads a message (those of attached messages: the importer reads the message's own header
// block itself), wherever such a field begins a line. Markers stand for the characters, so that
// restoredHeaderText puts them back. Returns whether anything was replaced.
bool boundAddressNestingInPlace(char* data, size_t begin, size_t end);

// Notes on the parsed message that its raw header values carry markers.
void markDefused(GMimeObject* object);

bool isDefused(GMimeObject* object);

// Raw header text as it was in the file (markers turned back when defused).
std::string restoredHeaderText(GMimeObject* object, std::string_view raw);

// For address parsing of an overlong value: "=?" that survived our own decoding is no encoded
// word, and is split so that GMime does not rescan it.
std::string withoutStrayEncodedWordStarts(std::string text);

}  // namespace mail
