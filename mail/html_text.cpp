#include "mail/html_text.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace mail {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Longest reference decoded, "&" to ";" included ("&#x10FFFF;" and the named ones below).
constexpr size_t kMaxEntityLength = 11;

// Decodes the character reference starting at html[i] == '&'; returns the characters used.
size_t decodeEntity(std::string_view html, size_t i, std::string& out) {
  // The ';' is looked for among the next few characters only: text full of '&' without one
  // would otherwise be searched to its end once for each '&'.
  const size_t semicolon = html.substr(0, i + kMaxEntityLength).find(';', i);
  if (semicolon == std::string_view::npos) {
    out.push_back('&');
    return 1;
  }
  const std::string name(html.substr(i + 1, semicolon - i - 1));
  if (!name.empty() && name[0] == '#') {
    const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    const std::string digits = name.substr(hex ? 2 : 1);
    if (!digits.empty() && digits.size() <= 7) {
      char* end = nullptr;
      const unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (end && *end == '\0') {
        appendUtf8(out, static_cast<uint32_t>(cp));
        return semicolon - i + 1;
      }
    }
    out.push_back('&');
    return 1;
  }
  struct Named {
    const char* name;
    uint32_t cp;
  };
  static constexpr Named kNamed[] = {{"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},
                                     {"apos", '\''},   {"nbsp", 0xA0},   {"copy", 0xA9},   {"reg", 0xAE},
                                     {"euro", 0x20AC}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"hellip", 0x2026},
                                     {"laquo", 0xAB},  {"raquo", 0xBB},  {"trade", 0x2122}, {"bull", 0x2022},
                                     {"auml", 0xE4},   {"ouml", 0xF6},   {"uuml", 0xFC},   {"Auml", 0xC4},
                                     {"Ouml", 0xD6},   {"Uuml", 0xDC},   {"szlig", 0xDF},  {"eacute", 0xE9},
                                     {"egrave", 0xE8}, {"agrave", 0xE0}, {"ccedil", 0xE7}, {"rsquo", 0x2019},
                                     {"lsquo", 0x2018}, {"rdquo", 0x201D}, {"ldquo", 0x201C}};
  for (const auto& entity : kNamed) {
    if (name == entity.name) {
      appendUtf8(out, entity.cp);
      return semicolon - i + 1;
    }
  }
  out.push_back('&');
  return 1;
}

bool isBlockTag(const std::string& tag) {
  static constexpr const char* kBlocks[] = {"p", "div", "br", "tr", "li", "h1", "h2", "h3", "h4", "h5", "h6",
                                            "table", "ul", "ol", "blockquote", "pre", "hr", "title", "dd", "dt"};
  for (const char* block : kBlocks) {
    if (tag == block) return true;
  }
  return false;
}

}  // namespace

std::string htmlToText(std::string_view html) {
  std::string out;
  out.reserve(html.size() / 2);
  std::string skipUntil;  // closing tag whose content is not text (script, style, head)
  bool pendingSpace = false;
  size_t i = 0;
  // Block boundaries start a new line once; explicit <br> breaks may leave one empty line.
  auto newline = [&](bool explicitBreak) {
    pendingSpace = false;
    if (out.empty()) return;
    if (out.back() == '\n' && !explicitBreak) return;
    if (out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') return;
    out.push_back('\n');
  };
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<') {
      if (html.compare(i, 4, "<!--") == 0) {
        const size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      const size_t end = html.find('>', i + 1);
      if (end == std::string_view::npos) break;
      std::string_view inside = html.substr(i + 1, end - i - 1);
      i = end + 1;
      const bool closing = !inside.empty() && inside[0] == '/';
      if (closing) inside.remove_prefix(1);
      size_t nameEnd = 0;
      while (nameEnd < inside.size() && (std::isalnum(static_cast<unsigned char>(inside[nameEnd])))) ++nameEnd;
      const std::string tag = lower(inside.substr(0, nameEnd));
      if (!skipUntil.empty()) {
        if (closing && tag == skipUntil) skipUntil.clear();
        continue;
      }
      if (!closing && (tag == "script" || tag == "style" || tag == "head")) {
        if (inside.empty() || inside.back() != '/') skipUntil = tag;
        continue;
      }
      if (tag == "br") newline(true);
      else if (isBlockTag(tag)) newline(false);
      else if (tag == "td" || tag == "th") pendingSpace = true;
      continue;
    }
    if (!skipUntil.empty()) {
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      pendingSpace = true;
      ++i;
      continue;
    }
    if (pendingSpace && !out.empty() && out.back() != '\n') out.push_back(' ');
    pendingSpace = false;
    if (c == '&') {
      i += decodeEntity(html, i, out);
    } else {
      out.push_back(c);
      ++i;
    }
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string htmlDeclaredCharset(std::string_view html) {
  const std::string head = lower(html.substr(0, 4096));
  const size_t meta = head.find("<meta");
  if (meta == std::string::npos) return {};
  const size_t at = head.find("charset=", meta);
  if (at == std::string::npos) return {};
  size_t begin = at + 8;
  while (begin < head.size() && (head[begin] == '"' || head[begin] == '\'' || head[begin] == ' ')) ++begin;
  size_t end = begin;
  while (end < head.size() &&
         (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' || head[end] == '_' || head[end] == ':')) {
    ++end;
  }
  return head.substr(begin, end - begin);
}

}  // namespace mail
