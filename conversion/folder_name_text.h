// The text of a file or folder name as the disk holds it, for a PST folder or store name.
#pragma once

#include <string>
#include <string_view>

namespace conversion {

// `name` as UTF-8: kept when it is valid UTF-8, else read as Windows-1252, the code page the
// mail server on Windows wrote it in (a store copied to Linux without converting its names
// keeps those bytes). Every byte keeps a character of its own, so two names never become one.
std::string FolderNameAsUtf8(std::string_view name);

}  // namespace conversion
