// Names as vantorel-convert prints them: a file name may hold any byte but '/' and NUL, and
// printed raw, a newline or an escape sequence in it could forge or hide output lines.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// `text` with C escapes for the backslash, control characters (C0, DEL and the C1 range
// U+0080-U+009F) and bytes that are not UTF-8: "\\", "\t", "\n", "\r", otherwise "\xHH" per
// byte. Everything else, other languages' letters included, is kept, so the escapes can be
// undone byte for byte. On Windows a backslash is kept as it is.
std::string EscapeControls(std::string_view text);

// A file's path as printed: escaped as above, and on Windows with backslashes throughout.
std::string ShownPath(std::string_view path);

}  // namespace cli
