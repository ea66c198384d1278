#include "mail/charset.h"

#include <gmime/gmime.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "mail/gmime_session.h"

namespace mail {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trimmedCharset(std::string_view charset) {
  while (!charset.empty() && (charset.front() == ' ' || charset.front() == '"' || charset.front() == '\'')) {
    charset.remove_prefix(1);
  }
  while (!charset.empty() && (charset.back() == ' ' || charset.back() == '"' || charset.back() == '\'')) {
    charset.remove_suffix(1);
  }
  // RFC 2231 language suffix ("utf-8*en") is no part of the charset.
  if (auto star = charset.find('*'); star != std::string_view::npos) charset = charset.substr(0, star);
  return lowerAscii(charset);
}

// Charset names seen in mail that iconv does not know by that spelling.
std::string iconvNameFor(const std::string& charset) {
  if (charset == "ks_c_5601-1987" || charset == "ks_c_5601" || charset == "ksc5601") return "CP949";
  if (charset == "gb2312" || charset == "gbk" || charset == "x-gbk" || charset == "cp936") return "GB18030";
  if (charset == "iso-8859-8-i") return "ISO-8859-8";
  if (charset == "x-sjis" || charset == "shift-jis" || charset == "sjis") return "SHIFT_JIS";
  if (charset == "x-user-defined" || charset == "unknown-8bit" || charset == "x-unknown") return "";
  if (charset == "utf8") return "UTF-8";
  ensureGMimeInitialised();
  const char* name = g_mime_charset_iconv_name(charset.c_str());
  return name ? name : charset;
}

// Opening a converter loads and unloads glibc's conversion module each time, which costs more
// than converting a typical body. Each thread keeps the converters it opened.
class ConverterCache {
 public:
  ~ConverterCache() { clear(); }
  // A converter from `charset` to UTF-8 in its initial state; (iconv_t)-1 when there is none.
  iconv_t get(const std::string& charset) {
    if (auto it = converters_.find(charset); it != converters_.end()) {
      if (it->second != kNone) iconv(it->second, nullptr, nullptr, nullptr, nullptr);
      return it->second;
    }
    // Mail may name any number of bogus charsets; a bounded cache never grows with them.
    if (converters_.size() >= kMaxConverters) clear();
    const iconv_t cd = iconv_open("UTF-8", charset.c_str());
    converters_.emplace(charset, cd);
    return cd;
  }

  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  static constexpr size_t kMaxConverters = 64;
  void clear() {
    for (const auto& [name, cd] : converters_) {
      if (cd != kNone) iconv_close(cd);
    }
    converters_.clear();
  }
  std::unordered_map<std::string, iconv_t> converters_;
};

iconv_t converterFrom(const std::string& charset) {
  thread_local ConverterCache cache;
  return cache.get(charset);
}

}  // namespace

bool isAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += len;
  }
  return true;
}

std::optional<std::string> convertToUtf8(std::string_view bytes, std::string_view charsetName) {
  const std::string charset = trimmedCharset(charsetName);
  if (charset.empty()) return std::nullopt;
  if (charset == "us-ascii" || charset == "ascii" || charset == "utf-8" || charset == "utf8") {
    if (isValidUtf8(bytes)) return std::string(bytes);
  }
  const std::string from = iconvNameFor(charset);
  if (from.empty()) return std::nullopt;
  iconv_t cd = converterFrom(from);
  if (cd == ConverterCache::kNone) return std::nullopt;

  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2 + 16);
  std::array<char, 8192> buffer{};
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (true) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const size_t rc = inLeft > 0 ? iconv(cd, &in, &inLeft, &outPtr, &outLeft) : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    const int err = errno;
    out.append(buffer.data(), buffer.size() - outLeft);
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state (ISO-2022-JP) before finishing.
        outPtr = buffer.data();
        outLeft = buffer.size();
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        break;
      }
      continue;
    }
    if (err == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut short at the end: mark it and go on.
    out.append(kReplacement);
    if (inLeft > 0) {
      ++in;
      --inLeft;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (inLeft == 0) break;
  }
  return out;
}

std::string decodeUndeclared(std::string_view bytes, std::string_view likelyCharset) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  if (!likelyCharset.empty()) {
    auto text = convertToUtf8(bytes, likelyCharset);
    if (text && text->find(kReplacement) == std::string::npos) return *text;
  }
  if (auto text = convertToUtf8(bytes, "windows-1252")) return *text;
  // windows-1252 leaves five bytes undefined; ISO-8859-1 maps every byte.
  return convertToUtf8(bytes, "iso-8859-1").value_or(std::string());
}

std::string decodeUndeclaredOwned(std::string bytes, std::string_view likelyCharset) {
  if (isValidUtf8(bytes)) return bytes;
  return decodeUndeclared(bytes, likelyCharset);
}

namespace {

bool isUtf8Label(const std::string& charset) {
  return charset.empty() || charset == "us-ascii" || charset == "ascii" || charset == "utf-8" || charset == "utf8";
}

// Mailers often label UTF-8 text with the sender's legacy charset. Non-ASCII text that is
// valid UTF-8 throughout almost never is anything else, so the bytes are believed over the label.
bool isMislabelledUtf8(std::string_view bytes, const std::string& charset) {
  const bool wideCharset = charset.rfind("utf-16", 0) == 0 || charset.rfind("utf-32", 0) == 0 ||
                           charset.rfind("ucs", 0) == 0 || charset == "utf-7";
  return !wideCharset && !isAscii(bytes) && isValidUtf8(bytes);
}

}  // namespace

std::string decodeDeclared(std::string_view bytes, std::string_view charsetName) {
  const std::string charset = trimmedCharset(charsetName);
  if (isUtf8Label(charset)) return decodeUndeclared(bytes);
  if (isMislabelledUtf8(bytes, charset)) return std::string(bytes);
  auto text = convertToUtf8(bytes, charset);
  if (!text) return decodeUndeclared(bytes);
  return std::move(*text);
}

std::string decodeDeclaredOwned(std::string bytes, std::string_view charsetName) {
  const std::string charset = trimmedCharset(charsetName);
  if (isUtf8Label(charset)) return decodeUndeclaredOwned(std::move(bytes));
  if (isMislabelledUtf8(bytes, charset)) return bytes;
  return decodeDeclared(bytes, charsetName);
}

int codePageForCharset(std::string_view charsetName) {
  const std::string charset = trimmedCharset(charsetName);
  struct Entry {
    std::string_view name;
    int codePage;
  };
  static constexpr Entry kTable[] = {
      {"us-ascii", 20127},      {"ascii", 20127},         {"utf-8", 65001},       {"utf8", 65001},
      {"utf-7", 65000},         {"utf-16", 1200},         {"utf-16le", 1200},     {"utf-16be", 1201},
      {"iso-8859-1", 28591},    {"iso-8859-2", 28592},    {"iso-8859-3", 28593},  {"iso-8859-4", 28594},
      {"iso-8859-5", 28595},    {"iso-8859-6", 28596},    {"iso-8859-7", 28597},  {"iso-8859-8", 28598},
      {"iso-8859-8-i", 38598},  {"iso-8859-9", 28599},    {"iso-8859-13", 28603}, {"iso-8859-15", 28605},
      {"windows-1250", 1250},   {"windows-1251", 1251},   {"windows-1252", 1252}, {"windows-1253", 1253},
      {"windows-1254", 1254},   {"windows-1255", 1255},   {"windows-1256", 1256}, {"windows-1257", 1257},
      {"windows-1258", 1258},   {"koi8-r", 20866},        {"koi8-u", 21866},      {"iso-2022-jp", 50220},
      {"shift_jis", 932},       {"x-sjis", 932},          {"euc-jp", 51932},      {"euc-kr", 51949},
      {"ks_c_5601-1987", 949},  {"gb2312", 936},          {"gbk", 936},           {"gb18030", 54936},
      {"big5", 950},            {"hz-gb-2312", 52936},    {"iso-2022-kr", 50225}, {"tis-620", 874},
      {"windows-874", 874},     {"cp1252", 1252},         {"cp1251", 1251},       {"latin1", 28591},
  };
  for (const auto& entry : kTable) {
    if (entry.name == charset) return entry.codePage;
  }
  return 0;
}

}  // namespace mail
