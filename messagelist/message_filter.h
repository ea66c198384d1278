// The test by which the add-folder command picks message files out of a scan.
#pragma once

#include <string_view>

namespace messagelist {

// True when `path`, lower-cased and stripped of leading and trailing spaces, ends in ".msg".
// Only spaces are stripped, not tabs or other white space.
bool IsMessageFileName(std::string_view path);

}  // namespace messagelist
