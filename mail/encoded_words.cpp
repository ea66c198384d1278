#include "mail/encoded_words.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "mail/charset.h"
#include "mail/transfer_decoding.h"

namespace mail {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct EncodedWord {
  std::string charset;
  std::string bytes;  // payload after B or Q decoding, still in `charset`
  size_t end = 0;     // index just past "?="
};

// Encoded words are at most 75 characters; real mail stretches that, but a bound on the search
// keeps text full of unterminated "=?" from costing quadratic time.
constexpr size_t kMaxCharsetLength = 64;
constexpr size_t kMaxPayloadLength = 1024;

// Parses "=?charset?X?payload?=" at `pos`, or nothing when the text there is no encoded word.
std::optional<EncodedWord> parseEncodedWord(std::string_view s, size_t pos) {
  if (s.compare(pos, 2, "=?") != 0) return std::nullopt;
  const size_t charsetEnd = s.substr(0, std::min(s.size(), pos + 2 + kMaxCharsetLength)).find('?', pos + 2);
  if (charsetEnd == std::string_view::npos || charsetEnd == pos + 2 || charsetEnd + 2 >= s.size()) return std::nullopt;
  const char encoding = s[charsetEnd + 1];
  if (s[charsetEnd + 2] != '?') return std::nullopt;
  const size_t payloadStart = charsetEnd + 3;
  const size_t payloadEnd = s.substr(0, std::min(s.size(), payloadStart + kMaxPayloadLength)).find("?=", payloadStart);
  if (payloadEnd == std::string_view::npos) return std::nullopt;
  const std::string_view charset = s.substr(pos + 2, charsetEnd - pos - 2);
  const std::string_view payload = s.substr(payloadStart, payloadEnd - payloadStart);
  for (char c : charset) {
    if (isBlank(c)) return std::nullopt;
  }
  EncodedWord word;
  word.charset = std::string(charset);
  word.end = payloadEnd + 2;
  if (encoding == 'B' || encoding == 'b') {
    word.bytes = decodeBase64Text(payload);
  } else if (encoding == 'Q' || encoding == 'q') {
    word.bytes = decodeQuotedPrintableText(payload, /*underscoreIsSpace=*/true);
  } else {
    return std::nullopt;
  }
  return word;
}

std::string withoutSurroundingBlanks(std::string text) {
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  text.resize(end);
  size_t begin = 0;
  while (begin < text.size() && isBlank(text[begin])) ++begin;
  text.erase(0, begin);
  return text;
}

}  // namespace

std::string unfoldHeader(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\r' || c == '\n') continue;
    out.push_back(c);
  }
  return out;
}

std::string decodeHeaderText(std::string_view raw, std::string_view likelyCharset) {
  std::string text = unfoldHeader(raw);
  if (text.find("=?") == std::string::npos) {
    // No encoded word: one run of raw text, decoded without further copies (a subject may be
    // megabytes long).
    return withoutSurroundingBlanks(decodeUndeclaredOwned(std::move(text), likelyCharset));
  }
  struct Token {
    bool encoded = false;
    std::string charset;
    std::string bytes;
  };
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '=' && i + 1 < text.size() && text[i + 1] == '?') {
      if (auto word = parseEncodedWord(text, i)) {
        // White space alone between two encoded words is no part of the text.
        if (tokens.size() >= 2 && !tokens.back().encoded && tokens[tokens.size() - 2].encoded &&
            std::all_of(tokens.back().bytes.begin(), tokens.back().bytes.end(), isBlank)) {
          tokens.pop_back();
        }
        // Adjacent words of one charset are joined first: a character may be split between them.
        if (!tokens.empty() && tokens.back().encoded && tokens.back().charset == word->charset) {
          tokens.back().bytes += word->bytes;
        } else {
          tokens.push_back({true, std::move(word->charset), std::move(word->bytes)});
        }
        i = word->end;
        continue;
      }
    }
    if (tokens.empty() || tokens.back().encoded) tokens.push_back({});
    tokens.back().bytes.push_back(text[i]);
    ++i;
  }

  text = std::string();
  std::string out;
  for (Token& token : tokens) {
    out += token.encoded ? decodeDeclared(token.bytes, token.charset) : decodeUndeclared(token.bytes, likelyCharset);
    token.bytes = std::string();
  }
  return withoutSurroundingBlanks(std::move(out));
}

std::string decodeEncodedWordsInPhrases(std::string_view raw) {
  const std::string text = unfoldHeader(raw);
  if (text.find("=?") == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  bool inQuotes = false;
  int commentDepth = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (inQuotes && c == '\\' && i + 1 < text.size()) {
      out.append(text, i, 2);
      i += 2;
      continue;
    }
    if (c == '"' && commentDepth == 0) inQuotes = !inQuotes;
    if (!inQuotes && c == '(') ++commentDepth;
    if (!inQuotes && c == ')' && commentDepth > 0) --commentDepth;
    if (c == '=' && commentDepth == 0 && parseEncodedWord(text, i)) {
      // The run: encoded words separated by nothing but white space.
      size_t end = parseEncodedWord(text, i)->end;
      while (true) {
        size_t next = end;
        while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
        auto word = parseEncodedWord(text, next);
        if (!word) break;
        end = word->end;
      }
      std::string decoded = decodeHeaderText(std::string_view(text).substr(i, end - i));
      std::string escaped;
      for (char d : decoded) {
        if (d == '"' || d == '\\') escaped.push_back('\\');
        escaped.push_back(d);
      }
      out += inQuotes ? escaped : "\"" + escaped + "\"";
      i = end;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace mail
