// MAPI property tags, types and values as the LTP layer stores them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "pst/ndb/types.h"

namespace pst {

enum class PropType : uint16_t {
  Int16 = 0x0002,
  Int32 = 0x0003,
  Float = 0x0004,
  Double = 0x0005,
  Currency = 0x0006,
  AppTime = 0x0007,
  ErrorCode = 0x000A,
  Boolean = 0x000B,
  Object = 0x000D,
  Int64 = 0x0014,
  String8 = 0x001E,
  Unicode = 0x001F,
  Time = 0x0040,
  Guid = 0x0048,
  Binary = 0x0102,
  MvInt32 = 0x1003,
  MvUnicode = 0x101F,
  MvBinary = 0x1102,
};

using PropTag = uint32_t;  // (id << 16) | type
constexpr PropTag makeTag(uint16_t id, PropType type) {
  return (static_cast<uint32_t>(id) << 16) | static_cast<uint16_t>(type);
}
constexpr uint16_t tagId(PropTag tag) { return static_cast<uint16_t>(tag >> 16); }
constexpr PropType tagType(PropTag tag) { return static_cast<PropType>(tag & 0xFFFF); }

using Guid = std::array<uint8_t, 16>;
using Bytes = std::vector<uint8_t>;

// PtypObject: the value is a subnode that the caller has written itself.
struct ObjectRef {
  Nid subnode = 0;
  uint32_t size = 0;
  bool operator==(const ObjectRef&) const = default;
};

// Int16, Int32, Boolean, ErrorCode -> int32_t; Int64, Currency -> int64_t;
// Time -> uint64_t FILETIME (100 ns since 1601); Float, Double, AppTime -> double;
// Unicode and String8 -> UTF-8 std::string (written as UTF-16LE for Unicode);
// Binary -> Bytes; Guid -> Guid; MvInt32 -> vector<int32_t>; MvUnicode -> vector<string>;
// MvBinary -> vector<Bytes>; Object -> ObjectRef.
using PropValue = std::variant<int32_t, int64_t, uint64_t, double, std::string, Bytes, Guid,
                               std::vector<int32_t>, std::vector<std::string>, std::vector<Bytes>,
                               ObjectRef>;

struct Property {
  PropTag tag = 0;
  PropValue value;
};

}  // namespace pst
