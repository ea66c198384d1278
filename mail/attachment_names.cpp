#include "mail/attachment_names.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "mail/charset.h"
#include "mail/encoded_words.h"
#include "mail/header_access.h"

namespace mail {
namespace {

// The raw text of a plain (not RFC 2231) parameter in a raw Content-Type or Content-Disposition
// value, quotes removed; empty when absent.
std::string rawParameter(std::string_view header, std::string_view name) {
  size_t i = header.find(';');
  while (i != std::string_view::npos && i < header.size()) {
    ++i;
    while (i < header.size() && (header[i] == ' ' || header[i] == '\t' || header[i] == '\r' || header[i] == '\n')) ++i;
    const size_t eq = header.find('=', i);
    if (eq == std::string_view::npos) return {};
    std::string_view key = header.substr(i, eq - i);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    size_t v = eq + 1;
    while (v < header.size() && (header[v] == ' ' || header[v] == '\t')) ++v;
    std::string value;
    if (v < header.size() && header[v] == '"') {
      ++v;
      while (v < header.size() && header[v] != '"') {
        if (header[v] == '\\' && v + 1 < header.size()) ++v;
        value.push_back(header[v++]);
      }
      if (v < header.size()) ++v;
    } else {
      while (v < header.size() && header[v] != ';') value.push_back(header[v++]);
    }
    if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0) return value;
    i = header.find(';', v);
  }
  return {};
}

// GMime 3.2.13 shortens some encoded-word file names; decode those from the raw header.
std::string encodedWordParameter(GMimeObject* object, const char* header, const char* name) {
  const auto raw = rawHeader(object, header);
  if (!raw) return {};
  const std::string value = rawParameter(unfoldHeader(*raw), name);
  if (value.find("=?") == std::string::npos) return {};
  std::string decoded = decodeHeaderText(value);
  return isValidUtf8(decoded) ? decoded : std::string();
}

std::string cleanParameter(const char* value) {
  if (!value) return {};
  std::string text = value;
  if (!isValidUtf8(text)) text = decodeUndeclared(text);
  // Encoded words inside a quoted parameter break the rules but are common; read them anyway.
  if (text.find("=?") != std::string::npos) text = decodeHeaderText(text);
  return text;
}

}  // namespace

std::string declaredFileName(GMimeObject* object) {
  std::string name = encodedWordParameter(object, "Content-Disposition", "filename");
  if (name.empty() && g_mime_object_get_content_disposition(object)) {
    name = cleanParameter(g_mime_object_get_content_disposition_parameter(object, "filename"));
  }
  if (name.empty()) name = encodedWordParameter(object, "Content-Type", "name");
  if (name.empty()) name = cleanParameter(g_mime_object_get_content_type_parameter(object, "name"));
  return sanitizeFileName(name);
}

std::string sanitizeFileName(std::string_view name) {
  if (auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) name = name.substr(slash + 1);
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      out.push_back('_');
    } else {
      out.push_back(c);
    }
  }
  size_t begin = 0;
  size_t end = out.size();
  while (begin < end && (out[begin] == ' ' || out[begin] == '.')) ++begin;
  while (end > begin && (out[end - 1] == ' ' || out[end - 1] == '.')) --end;
  out = out.substr(begin, end - begin);
  if (out.size() > 255) {
    // Keep the extension when shortening an absurdly long name.
    const std::string ext = fileExtension(out);
    size_t keep = ext.size() < 32 ? 255 - ext.size() : 255;
    while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xC0) == 0x80) --keep;
    out = out.substr(0, keep) + (ext.size() < 32 ? ext : "");
  }
  return out;
}

std::string fileExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return std::string(name.substr(dot));
}

std::string shortFileName(std::string_view longName) {
  const std::string ext = fileExtension(longName);
  const std::string_view base = longName.substr(0, longName.size() - ext.size());
  auto shortPart = [](std::string_view text, size_t limit, bool& changed) {
    std::string out;
    for (char c : text) {
      const auto u = static_cast<unsigned char>(c);
      if (std::isalnum(u) || std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos) {
        if (u < 0x80) out.push_back(static_cast<char>(std::tolower(u)));
        else changed = true;
      } else {
        changed = true;
      }
    }
    if (out.size() > limit) {
      out.resize(limit);
      changed = true;
    }
    return out;
  };
  bool changed = false;
  std::string shortBase = shortPart(base, 8, changed);
  std::string shortExt = ext.empty() ? std::string() : shortPart(ext.substr(1), 3, changed);
  if (shortBase.empty()) {
    shortBase = "attach";
    changed = true;
  }
  if (changed) {
    if (shortBase.size() > 6) shortBase.resize(6);
    shortBase += "~1";
  }
  return shortExt.empty() ? shortBase : shortBase + "." + shortExt;
}

std::string fallbackFileName(std::string_view mimeType, int index) {
  struct Entry {
    std::string_view type;
    std::string_view extension;
  };
  static constexpr Entry kTable[] = {
      {"text/plain", ".txt"},        {"text/html", ".htm"},          {"text/enriched", ".txt"},
      {"text/calendar", ".ics"},     {"text/rfc822-headers", ".txt"}, {"message/delivery-status", ".txt"},
      {"message/disposition-notification", ".txt"}, {"message/rfc822", ".eml"}, {"message/partial", ".eml"},
      {"image/jpeg", ".jpg"},        {"image/gif", ".gif"},          {"image/png", ".png"},
      {"image/bmp", ".bmp"},         {"application/pdf", ".pdf"},    {"application/zip", ".zip"},
      {"application/pkcs7-signature", ".p7s"}, {"application/x-pkcs7-signature", ".p7s"},
      {"application/pkcs7-mime", ".p7m"},      {"application/x-pkcs7-mime", ".p7m"},
      {"application/pgp-signature", ".asc"},   {"application/pgp-encrypted", ".asc"},
      {"text/x-vcard", ".vcf"},      {"text/vcard", ".vcf"},
  };
  std::string extension = ".dat";
  for (const auto& entry : kTable) {
    if (entry.type == mimeType) extension = entry.extension;
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "ATT%05d", index % 100000);
  return buffer + extension;
}

}  // namespace mail
