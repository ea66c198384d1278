// The on-disk byte form of one property value, shared by the PC and the TC.
#pragma once

#include <span>
#include <string>

#include "pst/ltp/property.h"

namespace pst::ltp {

// Size in bytes of a fixed-size type (1, 2, 4 or 8); 0 for types stored by reference
// (strings, binary, GUID, object and multi-valued), which always go through a HNID.
size_t fixedSize(PropType type);
bool isKnownType(PropType type);
// For types this layer does not write (multi-valued 8-byte or ANSI values, server ids, rules):
// whether their value is stored by reference, like strings, rather than inline.
bool otherTypeByReference(uint16_t type);

// The stored bytes of `value` as a property of `type`; pst::Error when the value does not hold
// the alternative that `type` uses (see property.h).
Bytes encodeValue(PropTag tag, const PropValue& value);
// encodeValue(tag, value).size(), without copying large values.
size_t encodedSize(PropTag tag, const PropValue& value);
// The inverse of encodeValue; pst::Error when the bytes cannot be a value of this type.
PropValue decodeValue(PropTag tag, std::span<const uint8_t> bytes);

// "0x0037001F" style text for messages.
std::string tagText(PropTag tag);

}  // namespace pst::ltp
