#include "mail/one_off_entry_id.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace mail {
namespace {

constexpr uint8_t kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr uint16_t kOneOffUnicode = 0x8000;
constexpr uint16_t kOneOffNoRichInfo = 0x0001;

void appendUtf16z(pst::Bytes& out, std::string_view text) {
  for (char16_t unit : utf8ToUtf16(text)) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xF4) {
      len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      uint32_t value = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
      bool ok = i + len <= s.size();
      for (size_t k = 1; ok && k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        ok = (cc & 0xC0) == 0x80;
        value = (value << 6) | (cc & 0x3F);
      }
      if (ok) {
        cp = value;
      } else {
        len = 1;
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

pst::Bytes oneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address) {
  // Flags (4 bytes, zero), the provider's UID, the version (2 bytes, zero), the entry's flags.
  constexpr size_t kProviderAt = 4;
  constexpr size_t kFlagsAt = kProviderAt + sizeof kOneOffProvider + 2;
  pst::Bytes out(kFlagsAt + 2, 0);
  std::copy(std::begin(kOneOffProvider), std::end(kOneOffProvider), out.begin() + kProviderAt);
  const uint16_t flags = kOneOffUnicode | kOneOffNoRichInfo;
  out[kFlagsAt] = static_cast<uint8_t>(flags & 0xFF);
  out[kFlagsAt + 1] = static_cast<uint8_t>(flags >> 8);
  appendUtf16z(out, displayName);
  appendUtf16z(out, addressType);
  appendUtf16z(out, address);
  return out;
}

pst::Bytes addressSearchKey(std::string_view addressType, std::string_view address) {
  pst::Bytes out;
  out.reserve(addressType.size() + address.size() + 2);
  for (char c : addressType) out.push_back(static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(c))));
  out.push_back(':');
  for (char c : address) out.push_back(static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(c))));
  out.push_back(0);
  return out;
}

}  // namespace mail
