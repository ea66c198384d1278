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
  if (charset == "iso-2022-jp-strict") return "ISO-2022-JP";
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
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    // A Windows without the GB18030 code page (54936) still reads GBK through code page 936.
    if (cd == kNone && charset == "GB18030") cd = iconv_open("UTF-8", "CP936");
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

// One Shift_JIS character through the CP932 table (Windows' own, with the NEC and IBM
// extensions); false when the table has no character for it.
bool appendCp932(iconv_t cd, const char* bytes, size_t size, std::string& out) {
  char buffer[16];
  char* in = const_cast<char*>(bytes);
  char* outPtr = buffer;
  size_t inLeft = size, outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  out.append(buffer, sizeof buffer - outLeft);
  return true;
}

bool isIso2022Jp(const std::string& charset) {
  return charset == "iso-2022-jp" || charset == "csiso2022jp" || charset == "iso-2022-jp-ms" ||
         charset == "cp50220" || charset == "cp50221" || charset == "cp50222";
}

// ISO-2022-JP as Windows reads it (code pages 50220 to 50222): JIS X 0208 with the NEC row 13
// and the NEC-selected IBM extensions (rows 89 to 92), half-width katakana by ESC ( I, SO/SI
// or as 8-bit bytes. Each two-byte pair is one character, U+FFFD when it has none, so that no
// byte of a pair is ever read as text of its own. Nullopt without a CP932 converter.
std::optional<std::string> decodeWindowsIso2022Jp(std::string_view bytes) {
  const iconv_t cd = converterFrom("CP932");
  if (cd == ConverterCache::kNone) return std::nullopt;
  enum class Mode { Ascii, Jis0208, Katakana } mode = Mode::Ascii;
  bool shiftedOut = false;
  std::string out;
  out.reserve(bytes.size() * 2);
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x1B) {
      const std::string_view rest = bytes.substr(i + 1);
      if (rest.starts_with("(B") || rest.starts_with("(J")) {
        mode = Mode::Ascii, i += 3;
      } else if (rest.starts_with("$@") || rest.starts_with("$B")) {
        mode = Mode::Jis0208, i += 3;
      } else if (rest.starts_with("(I")) {
        mode = Mode::Katakana, i += 3;
      } else {
        out.append(kReplacement), ++i;
      }
      continue;
    }
    if (b == 0x0E || b == 0x0F) {
      shiftedOut = b == 0x0E, ++i;
      continue;
    }
    if (b >= 0xA1 && b <= 0xDF) {  // 8-bit half-width katakana (50222)
      const char c = static_cast<char>(b);
      if (!appendCp932(cd, &c, 1, out)) out.append(kReplacement);
      ++i;
      continue;
    }
    if ((mode == Mode::Katakana || shiftedOut) && b >= 0x21 && b <= 0x5F) {
      const char c = static_cast<char>(b + 0x80);
      if (!appendCp932(cd, &c, 1, out)) out.append(kReplacement);
      ++i;
      continue;
    }
    if (mode == Mode::Jis0208 && b >= 0x21 && b <= 0x7E) {
      if (i + 1 >= bytes.size() || static_cast<unsigned char>(bytes[i + 1]) < 0x21 ||
          static_cast<unsigned char>(bytes[i + 1]) > 0x7E) {
        out.append(kReplacement), ++i;
        continue;
      }
      const unsigned j1 = b, j2 = static_cast<unsigned char>(bytes[i + 1]);
      const char sjis[2] = {static_cast<char>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0)),
                            static_cast<char>(j2 + ((j1 & 1) ? (j2 < 0x60 ? 0x1F : 0x20) : 0x7E))};
      if (!appendCp932(cd, sjis, 2, out)) out.append(kReplacement);
      i += 2;
      continue;
    }
    if (b >= 0x80) {
      out.append(kReplacement), ++i;
      continue;
    }
    out += static_cast<char>(b), ++i;
  }
  return out;
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
  if (isIso2022Jp(charset)) {
    // Strict ISO-2022-JP first; text that uses Windows' extensions is read as Windows reads it.
    auto strict = convertToUtf8(bytes, "iso-2022-jp-strict");
    // (An escape sequence it does not know, such as ESC ( I, it passes through as it is.)
    if (strict && strict->find(kReplacement) == std::string::npos && strict->find('\x1B') == std::string::npos)
      return strict;
    if (auto windows = decodeWindowsIso2022Jp(bytes)) return windows;
    return strict;
  }
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
