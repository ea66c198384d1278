// Base64 and quoted-printable payloads of encoded words, decoded leniently: stray characters
// are skipped and missing padding tolerated, since mail in the wild is often slightly broken.
#pragma once

#include <string>
#include <string_view>

namespace mail {

std::string decodeBase64Text(std::string_view text);
std::string decodeQuotedPrintableText(std::string_view text, bool underscoreIsSpace);

}  // namespace mail
