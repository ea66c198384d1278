// Identifiers of an Internet address that is in no address book: the one-off entry ID and
// the search key Outlook compares addresses by.
#pragma once

#include <string_view>

#include "pst/ltp/property.h"

namespace mail {

pst::Bytes oneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address);

// "ADDRTYPE:ADDRESS" in upper case, NUL-terminated.
pst::Bytes addressSearchKey(std::string_view addressType, std::string_view address);

// UTF-8 to UTF-16LE code units (invalid input bytes become U+FFFD).
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace mail
