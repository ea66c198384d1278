// UTF-8 to UTF-16LE, as names are stored in the name-to-id map.
#pragma once

#include <string>

#include "pst/ltp/property.h"

namespace pst::messaging {

// Invalid UTF-8 sequences become U+FFFD, so no name is refused or cut short.
Bytes toUtf16(const std::string& utf8);

}  // namespace pst::messaging
