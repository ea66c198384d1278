#include "mail/dates.h"

#include <gmime/gmime.h>

#include <string>

#include "mail/encoded_words.h"
#include "mail/gmime_session.h"

namespace mail {

uint64_t unixSecondsToFileTime(int64_t seconds) {
  // Dates before 1601 cannot be expressed; clamp rather than wrap around.
  const int64_t minSeconds = -11644473600LL;
  if (seconds < minSeconds) seconds = minSeconds;
  return static_cast<uint64_t>(seconds - minSeconds) * 10000000ULL;
}

std::optional<uint64_t> parseMailDate(std::string_view raw) {
  const std::string text = unfoldHeader(raw);
  if (text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  ensureGMimeInitialised();
  GDateTime* date = g_mime_utils_header_decode_date(text.c_str());
  if (!date) return std::nullopt;
  const int64_t seconds = g_date_time_to_unix(date);
  const int year = g_date_time_get_year(date);
  g_date_time_unref(date);
  // GMime answers the epoch, or a year it could not read, for text that is no date at all.
  if (seconds == 0 || year < 1970 || year > 2200) return std::nullopt;
  return unixSecondsToFileTime(seconds);
}

std::optional<uint64_t> parseReceivedDate(std::string_view raw) {
  const size_t semicolon = raw.rfind(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  return parseMailDate(raw.substr(semicolon + 1));
}

}  // namespace mail
