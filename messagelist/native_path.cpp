#include "messagelist/native_path.h"

#include <QUtf8StringView>
#include <algorithm>

namespace messagelist {

namespace {

constexpr char16_t kEscapeBase = 0xDC80;  // U+DC80..U+DCFF carry the bytes 0x80..0xFF

// Length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none.
size_t validSequenceLength(std::string_view s, size_t at, char32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, encoded surrogates and code points past U+10FFFF are not valid UTF-8.
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

QString textFromNativePath(std::string_view native) {
  const QUtf8StringView view(native.data(), static_cast<qsizetype>(native.size()));
  if (view.isValidUtf8()) return view.toString();
  QString text;
  text.reserve(static_cast<qsizetype>(native.size()));
  for (size_t at = 0; at < native.size();) {
    char32_t code = 0;
    const size_t length = validSequenceLength(native, at, code);
    if (length == 0) {
      text += QChar(static_cast<char16_t>(kEscapeBase + (static_cast<unsigned char>(native[at]) - 0x80)));
      ++at;
      continue;
    }
    if (code < 0x10000) {
      text += QChar(static_cast<char16_t>(code));
    } else {
      text += QChar(QChar::highSurrogate(code));
      text += QChar(QChar::lowSurrogate(code));
    }
    at += length;
  }
  return text;
}

std::string nativePathFromText(const QString& text) {
  const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
  if (plain) return text.toStdString();
  std::string native;
  native.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      appendUtf8(native, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
      ++i;
    } else if (unit >= kEscapeBase && unit <= 0xDCFF) {
      native += static_cast<char>(0x80 + (unit - kEscapeBase));
    } else if (QChar::isSurrogate(unit)) {
      appendUtf8(native, 0xFFFD);  // a lone surrogate no name could have produced
    } else {
      appendUtf8(native, unit);
    }
  }
  return native;
}

}  // namespace messagelist
