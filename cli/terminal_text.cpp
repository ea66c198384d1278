#include "cli/terminal_text.h"

#include <cstdint>

namespace cli {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
size_t utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<uint8_t>(text[0]);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  if (value <= 0x9F) return 0;  // a C1 control: terminals may act on it
  return length;
}

void appendHex(std::string& out, uint8_t byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

#ifdef _WIN32
constexpr bool kEscapesBackslash = false;
#else
constexpr bool kEscapesBackslash = true;
#endif

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<uint8_t>(text[0]);
    size_t taken = 1;
    if (byte == '\\') {
      // Windows paths are full of backslashes and no Windows name holds a control character:
      // there a backslash stays as it is.
      out += kEscapesBackslash ? "\\\\" : "\\";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      appendHex(out, byte);
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else if (const size_t length = utf8SequenceLength(text); length > 0) {
      out.append(text.substr(0, length));
      taken = length;
    } else {
      appendHex(out, byte);
    }
    text.remove_prefix(taken);
  }
  return out;
}

std::string ShownPath(std::string_view path) {
#ifdef _WIN32
  // The folder scan joins names with "/", which no Windows name can hold.
  std::string preferred(path);
  for (char& c : preferred) {
    if (c == '/') c = '\\';
  }
  return EscapeControls(preferred);
#else
  return EscapeControls(path);
#endif
}

}  // namespace cli
