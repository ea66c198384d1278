#include "mail/base64_decoder.h"

#include <array>
#include <cstring>

namespace mail {
namespace {

constexpr uint8_t kSkip = 0xFF;
constexpr uint8_t kEnd = 0xFE;  // '='

constexpr std::array<uint8_t, 256> makeSymbolValues() {
  std::array<uint8_t, 256> values{};
  for (auto& v : values) v = kSkip;
  constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i) values[static_cast<uint8_t>(alphabet[i])] = i;
  values['='] = kEnd;
  return values;
}

constexpr std::array<uint8_t, 256> kValues = makeSymbolValues();

}  // namespace

size_t decodeBase64(const uint8_t* in, size_t length, uint8_t* out) {
  const uint8_t* const end = in + length;
  uint8_t* const start = out;
  uint32_t saved = 0;
  int symbols = 0;  // in `saved`, 0..3
  while (in < end) {
    // Mail wraps base64 in lines of whole quartets: take four clean symbols at a time.
    if (symbols == 0) {
      while (end - in >= 4) {
        const uint32_t a = kValues[in[0]], b = kValues[in[1]], c = kValues[in[2]], d = kValues[in[3]];
        if ((a | b | c | d) >= 64) break;
        const uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
        out[0] = static_cast<uint8_t>(v >> 16);
        out[1] = static_cast<uint8_t>(v >> 8);
        out[2] = static_cast<uint8_t>(v);
        out += 3;
        in += 4;
      }
      if (in >= end) break;
    }
    const uint8_t value = kValues[*in++];
    if (value == kSkip) continue;
    if (value == kEnd) {
      // '=' stands for a zero symbol and ends the data; it completes a quartet only when
      // three or more symbols came before it in that quartet.
      ++symbols;
      saved <<= 6;
      if (symbols > 2) {
        const int padding = 5 - symbols;
        if (symbols < 4) saved <<= 6;
        *out++ = static_cast<uint8_t>(saved >> 16);
        if (padding < 2) *out++ = static_cast<uint8_t>(saved >> 8);
      }
      return static_cast<size_t>(out - start);
    }
    saved = (saved << 6) | value;
    if (++symbols == 4) {
      out[0] = static_cast<uint8_t>(saved >> 16);
      out[1] = static_cast<uint8_t>(saved >> 8);
      out[2] = static_cast<uint8_t>(saved);
      out += 3;
      saved = 0;
      symbols = 0;
    }
  }
  return static_cast<size_t>(out - start);
}

}  // namespace mail
