// A stable one-line text form of property values, for dumps that are compared with diff.
#pragma once

#include <string>

#include "pst/ltp/property.h"

namespace pst::ltp {

// Strings are quoted with C-style escapes for control characters; binary shows its length and
// at most its first 32 bytes in hex.
std::string valueText(PropTag tag, const PropValue& value);

}  // namespace pst::ltp
