#include "pst/ltp/value_codec.h"

#include <cstdio>
#include <cstring>

#include "pst/ltp/utf16.h"
#include "pst/ndb/le.h"

namespace pst::ltp {
namespace {

using ndb::le::get;
using ndb::le::put;

template <typename T>
const T& expect(PropTag tag, const PropValue& v) {
  if (const T* p = std::get_if<T>(&v)) return *p;
  throw Error("property " + tagText(tag) + " holds a value of the wrong kind for its type");
}

void append32(Bytes& out, uint32_t v) {
  const size_t at = out.size();
  out.resize(at + 4);
  put<uint32_t>(out.data() + at, v);
}

// Multi-valued variable items: count, offsets, then the items back to back.
Bytes packItems(const std::vector<Bytes>& items) {
  Bytes out;
  uint32_t offset = static_cast<uint32_t>(4 + 4 * items.size());
  append32(out, static_cast<uint32_t>(items.size()));
  for (const auto& item : items) {
    append32(out, offset);
    offset += static_cast<uint32_t>(item.size());
  }
  for (const auto& item : items) out.insert(out.end(), item.begin(), item.end());
  return out;
}

std::vector<Bytes> unpackItems(PropTag tag, std::span<const uint8_t> b) {
  if (b.empty()) return {};
  if (b.size() < 4) throw Error("multi-valued property " + tagText(tag) + " is shorter than its count");
  const uint32_t count = get<uint32_t>(b.data());
  if (count > (b.size() - 4) / 4) throw Error("multi-valued property " + tagText(tag) + " has more offsets than bytes");
  std::vector<Bytes> items;
  items.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t begin = get<uint32_t>(b.data() + 4 + 4 * i);
    const uint32_t end = i + 1 < count ? get<uint32_t>(b.data() + 8 + 4 * i) : static_cast<uint32_t>(b.size());
    if (begin < 4 + 4 * count || begin > end || end > b.size())
      throw Error("multi-valued property " + tagText(tag) + " has an item offset out of order or range");
    items.emplace_back(b.begin() + begin, b.begin() + end);
  }
  return items;
}

void needSize(PropTag tag, std::span<const uint8_t> b, size_t n) {
  if (b.size() != n)
    throw Error("property " + tagText(tag) + " has " + std::to_string(b.size()) + " bytes, expected " + std::to_string(n));
}

}  // namespace

std::string tagText(PropTag tag) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", tag);
  return buf;
}

size_t fixedSize(PropType type) {
  switch (type) {
    case PropType::Boolean:
      return 1;
    case PropType::Int16:
      return 2;
    case PropType::Int32:
    case PropType::Float:
    case PropType::ErrorCode:
      return 4;
    case PropType::Double:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::Int64:
    case PropType::Time:
      return 8;
    default:
      return 0;
  }
}

bool isKnownType(PropType type) {
  switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Float:
    case PropType::Double:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::ErrorCode:
    case PropType::Boolean:
    case PropType::Object:
    case PropType::Int64:
    case PropType::String8:
    case PropType::Unicode:
    case PropType::Time:
    case PropType::Guid:
    case PropType::Binary:
    case PropType::MvInt32:
    case PropType::MvUnicode:
    case PropType::MvBinary:
      return true;
  }
  return false;
}

bool otherTypeByReference(uint16_t type) {
  return (type & 0x1000) != 0 || type == 0x00FB || type == 0x00FD || type == 0x00FE;
}

Bytes encodeValue(PropTag tag, const PropValue& value) {
  Bytes out;
  switch (tagType(tag)) {
    case PropType::Boolean:
      out.push_back(expect<int32_t>(tag, value) != 0 ? 1 : 0);
      return out;
    case PropType::Int16:
      out.resize(2);
      put<uint16_t>(out.data(), static_cast<uint16_t>(expect<int32_t>(tag, value)));
      return out;
    case PropType::Int32:
    case PropType::ErrorCode:
      append32(out, static_cast<uint32_t>(expect<int32_t>(tag, value)));
      return out;
    case PropType::Float: {
      const float f = static_cast<float>(expect<double>(tag, value));
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      append32(out, bits);
      return out;
    }
    case PropType::Double:
    case PropType::AppTime: {
      const double d = expect<double>(tag, value);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      out.resize(8);
      put<uint64_t>(out.data(), bits);
      return out;
    }
    case PropType::Int64:
    case PropType::Currency:
      out.resize(8);
      put<uint64_t>(out.data(), static_cast<uint64_t>(expect<int64_t>(tag, value)));
      return out;
    case PropType::Time:
      out.resize(8);
      put<uint64_t>(out.data(), expect<uint64_t>(tag, value));
      return out;
    case PropType::Guid: {
      const Guid& g = expect<Guid>(tag, value);
      return Bytes(g.begin(), g.end());
    }
    case PropType::String8: {
      const std::string& s = expect<std::string>(tag, value);
      return Bytes(s.begin(), s.end());
    }
    case PropType::Unicode:
      return toUtf16le(expect<std::string>(tag, value));
    case PropType::Binary:
      return expect<Bytes>(tag, value);
    case PropType::Object: {
      const ObjectRef& ref = expect<ObjectRef>(tag, value);
      append32(out, ref.subnode);
      append32(out, ref.size);
      return out;
    }
    case PropType::MvInt32:
      for (int32_t v : expect<std::vector<int32_t>>(tag, value)) append32(out, static_cast<uint32_t>(v));
      return out;
    case PropType::MvUnicode: {
      std::vector<Bytes> items;
      for (const auto& s : expect<std::vector<std::string>>(tag, value)) items.push_back(toUtf16le(s));
      return packItems(items);
    }
    case PropType::MvBinary:
      return packItems(expect<std::vector<Bytes>>(tag, value));
  }
  throw Error("property " + tagText(tag) + " has a type this writer does not store");
}

size_t encodedSize(PropTag tag, const PropValue& value) {
  switch (tagType(tag)) {
    case PropType::String8:
      return expect<std::string>(tag, value).size();
    case PropType::Unicode:
      return utf16leSize(expect<std::string>(tag, value));
    case PropType::Binary:
      return expect<Bytes>(tag, value).size();
    default:
      return encodeValue(tag, value).size();
  }
}

PropValue decodeValue(PropTag tag, std::span<const uint8_t> b) {
  switch (tagType(tag)) {
    case PropType::Boolean:
      needSize(tag, b, 1);
      return int32_t{b[0] != 0};
    case PropType::Int16:
      needSize(tag, b, 2);
      return int32_t{static_cast<int16_t>(get<uint16_t>(b.data()))};
    case PropType::Int32:
    case PropType::ErrorCode:
      needSize(tag, b, 4);
      return static_cast<int32_t>(get<uint32_t>(b.data()));
    case PropType::Float: {
      needSize(tag, b, 4);
      const uint32_t bits = get<uint32_t>(b.data());
      float f;
      std::memcpy(&f, &bits, 4);
      return double{f};
    }
    case PropType::Double:
    case PropType::AppTime: {
      needSize(tag, b, 8);
      const uint64_t bits = get<uint64_t>(b.data());
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    case PropType::Int64:
    case PropType::Currency:
      needSize(tag, b, 8);
      return static_cast<int64_t>(get<uint64_t>(b.data()));
    case PropType::Time:
      needSize(tag, b, 8);
      return get<uint64_t>(b.data());
    case PropType::Guid: {
      needSize(tag, b, 16);
      Guid g;
      std::copy(b.begin(), b.end(), g.begin());
      return g;
    }
    case PropType::String8:
      return std::string(b.begin(), b.end());
    case PropType::Unicode:
      return fromUtf16le(b);
    case PropType::Binary:
      return Bytes(b.begin(), b.end());
    case PropType::Object:
      needSize(tag, b, 8);
      return ObjectRef{get<uint32_t>(b.data()), get<uint32_t>(b.data() + 4)};
    case PropType::MvInt32: {
      if (b.size() % 4) throw Error("multi-valued property " + tagText(tag) + " is not whole 4-byte values");
      std::vector<int32_t> v;
      for (size_t i = 0; i < b.size(); i += 4) v.push_back(static_cast<int32_t>(get<uint32_t>(b.data() + i)));
      return v;
    }
    case PropType::MvUnicode: {
      std::vector<std::string> v;
      for (const auto& item : unpackItems(tag, b)) v.push_back(fromUtf16le(item));
      return v;
    }
    case PropType::MvBinary:
      return unpackItems(tag, b);
  }
  throw Error("property " + tagText(tag) + " has a type this reader does not know");
}

}  // namespace pst::ltp
