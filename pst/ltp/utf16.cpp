#include "pst/ltp/utf16.h"

namespace pst::ltp {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void putUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD and skips one byte.
char32_t nextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  size_t len = 0;
  char32_t c = 0, min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + len > s.size()) {
    ++i;
    return kReplacement;
  }
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += len;
  return c;
}

}  // namespace

size_t utf16leSize(std::string_view utf8) {
  size_t size = 0;
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<uint8_t>(utf8[i]) < 0x80) {
      size += 2, ++i;
    } else {
      size += nextCodePoint(utf8, i) >= 0x10000 ? 4 : 2;
    }
  }
  return size;
}

Bytes toUtf16le(std::string_view utf8) {
  // Every UTF-8 byte yields at most one 16-bit unit (a 4-byte sequence yields two), so twice
  // the input size always suffices: one allocation, no per-unit growth.
  Bytes out(utf8.size() * 2);
  size_t o = 0;
  auto put = [&](uint32_t unit) {
    out[o++] = static_cast<uint8_t>(unit);
    out[o++] = static_cast<uint8_t>(unit >> 8);
  };
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    if (b < 0x80) {
      put(b);
      ++i;
      continue;
    }
    const char32_t c = nextCodePoint(utf8, i);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  out.resize(o);
  return out;
}

std::string fromUtf16le(std::span<const uint8_t> utf16) {
  std::string out;
  out.reserve(utf16.size() / 2);
  const size_t units = utf16.size() / 2;
  auto unit = [&](size_t k) { return static_cast<uint16_t>(utf16[2 * k] | (utf16[2 * k + 1] << 8)); };
  for (size_t k = 0; k < units; ++k) {
    const uint16_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      putUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      putUtf8(out, kReplacement);
    } else {
      putUtf8(out, u);
    }
  }
  return out;
}

}  // namespace pst::ltp
