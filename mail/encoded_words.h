// Unstructured header text (Subject, Thread-Topic, names, file names) to UTF-8: unfolding,
// encoded words in any charset, raw 8-bit bytes. Done here rather than by GMime because
// GMime 3.2.13 drops words of folded multi-word base64 subjects and cuts gb2312 text short.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// Removes the line breaks of folded header lines, keeping the white space that follows them.
std::string unfoldHeader(std::string_view raw);

// Decodes a raw (possibly folded) unstructured header value. Leading and trailing white space
// is dropped; white space between adjacent encoded words is dropped as the format requires.
// Raw 8-bit text outside encoded words is read as decodeUndeclared does, with `likelyCharset`.
std::string decodeHeaderText(std::string_view raw, std::string_view likelyCharset = {});

// For address headers: replaces each run of encoded words with its decoded text as a quoted
// string, so that the address parser sees names already decoded (and decoded right).
std::string decodeEncodedWordsInPhrases(std::string_view raw);

}  // namespace mail
