// UTF-8 (in memory) to UTF-16LE (on disk) and back.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "pst/ltp/property.h"

namespace pst::ltp {

// Invalid UTF-8 sequences become U+FFFD, so that no text is dropped.
Bytes toUtf16le(std::string_view utf8);
// The size toUtf16le(utf8) has, without building it.
size_t utf16leSize(std::string_view utf8);
// Unpaired surrogates become U+FFFD; an odd trailing byte is ignored.
std::string fromUtf16le(std::span<const uint8_t> utf16);

}  // namespace pst::ltp
