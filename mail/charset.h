// Text in a named charset to UTF-8, and the Windows code page numbers Outlook keeps with bodies.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mail {

// Converts `bytes` in `charset` to UTF-8. Undecodable byte sequences become U+FFFD so text is
// never silently cut. Returns nullopt when the charset is unknown to the converter.
std::optional<std::string> convertToUtf8(std::string_view bytes, std::string_view charset);

// Text whose charset nobody declared: kept as is when it is valid UTF-8, else read in
// `likelyCharset` (the charset the message's body declares) when that converts cleanly, else
// as windows-1252, the usual origin of stray 8-bit bytes in mail.
std::string decodeUndeclared(std::string_view bytes, std::string_view likelyCharset = {});

// Text with a declared charset that may be missing, wrong or unknown: the declared one when
// it converts cleanly, else the undeclared-text rules.
std::string decodeDeclared(std::string_view bytes, std::string_view charset);

// The same two for text the caller gives up: text that is already right comes back without a
// copy, so a body of a gigabyte is not held twice.
std::string decodeUndeclaredOwned(std::string bytes, std::string_view likelyCharset = {});
std::string decodeDeclaredOwned(std::string bytes, std::string_view charset);

bool isValidUtf8(std::string_view bytes);
bool isAscii(std::string_view bytes);

// Windows code page for a MIME charset name, 0 when there is none.
int codePageForCharset(std::string_view charset);

}  // namespace mail
