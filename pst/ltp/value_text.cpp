#include "pst/ltp/value_text.h"

#include <cstdio>

namespace pst::ltp {
namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string bytesText(const Bytes& b) {
  std::string out = "bin[" + std::to_string(b.size()) + "]";
  if (!b.empty()) out += " ";
  char buf[4];
  for (size_t i = 0; i < b.size() && i < 32; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", b[i]);
    out += buf;
  }
  if (b.size() > 32) out += "...";
  return out;
}

template <typename T, typename F>
std::string listText(const std::vector<T>& items, F one) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + one(items[i]);
  return out + "]";
}

}  // namespace

std::string valueText(PropTag tag, const PropValue& value) {
  char buf[64];
  switch (value.index()) {
    case 0: {
      const int32_t v = std::get<int32_t>(value);
      if (tagType(tag) == PropType::Boolean) return v ? "true" : "false";
      if (tagType(tag) == PropType::ErrorCode) {
        std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<uint32_t>(v));
        return buf;
      }
      return std::to_string(v);
    }
    case 1:
      return std::to_string(std::get<int64_t>(value));
    case 2:
      std::snprintf(buf, sizeof buf, "time 0x%016llX", static_cast<unsigned long long>(std::get<uint64_t>(value)));
      return buf;
    case 3:
      std::snprintf(buf, sizeof buf, "%.17g", std::get<double>(value));
      return buf;
    case 4:
      return quoted(std::get<std::string>(value));
    case 5:
      return bytesText(std::get<Bytes>(value));
    case 6: {
      const Guid& g = std::get<Guid>(value);
      return "guid " + bytesText(Bytes(g.begin(), g.end())).substr(8);
    }
    case 7:
      return listText(std::get<std::vector<int32_t>>(value), [](int32_t v) { return std::to_string(v); });
    case 8:
      return listText(std::get<std::vector<std::string>>(value), quoted);
    case 9:
      return listText(std::get<std::vector<Bytes>>(value), bytesText);
    case 10: {
      const ObjectRef& o = std::get<ObjectRef>(value);
      std::snprintf(buf, sizeof buf, "object subnode 0x%X size %u", o.subnode, o.size);
      return buf;
    }
  }
  return "?";
}

}  // namespace pst::ltp
