#include "mail/dates.h"

#include <gmime/gmime.h>

#include <cctype>
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

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian; negative before 1970).
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

class DateScanner {
 public:
  explicit DateScanner(std::string_view text) : s_(text) {}

  void skipSpace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool accept(char c) {
    skipSpace();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  std::optional<int> number(size_t minDigits, size_t maxDigits, size_t* digits = nullptr) {
    skipSpace();
    size_t n = 0;
    int value = 0;
    while (i_ + n < s_.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s_[i_ + n])))
      value = value * 10 + (s_[i_ + n++] - '0');
    if (n < minDigits || (i_ + n < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + n]))))
      return std::nullopt;
    i_ += n;
    if (digits) *digits = n;
    return value;
  }
  std::string word() {
    skipSpace();
    std::string w;
    while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_])))
      w += static_cast<char>(std::tolower(static_cast<unsigned char>(s_[i_++])));
    return w;
  }
  bool atEnd() {
    skipSpace();
    // A trailing comment such as "(PST)" says nothing the zone did not.
    return i_ == s_.size() || s_[i_] == '(';
  }
  char peek() {
    skipSpace();
    return i_ < s_.size() ? s_[i_] : '\0';
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

// Offset east of UTC in minutes of an RFC 5322 zone; nullopt when unknown.
std::optional<int> zoneOffset(DateScanner& in) {
  const char sign = in.peek();
  if (sign == '+' || sign == '-') {
    in.accept(sign);
    const auto hhmm = in.number(4, 4);
    if (!hhmm || *hhmm % 100 > 59) return std::nullopt;
    const int minutes = *hhmm / 100 * 60 + *hhmm % 100;
    return sign == '-' ? -minutes : minutes;
  }
  const std::string name = in.word();
  static const struct {
    const char* name;
    int hours;
  } kZones[] = {{"ut", 0}, {"utc", 0}, {"gmt", 0}, {"z", 0}, {"est", -5}, {"edt", -4}, {"cst", -6},
                {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
  for (const auto& z : kZones)
    if (name == z.name) return z.hours * 60;
  // No zone, or a military letter (whose meaning RFC 5322 says is unreliable): UTC.
  if (name.empty() || name.size() == 1) return 0;
  return std::nullopt;
}

// The RFC 5322 form, obsolete parts included: [day ","] day month year hh:mm[:ss] zone. Any
// year from 1601 on; two-digit years are 1950-2049, three-digit ones count from 1900.
std::optional<int64_t> parseRfc5322(std::string_view text) {
  DateScanner in(text);
  if (std::isalpha(static_cast<unsigned char>(in.peek()))) {
    in.word();
    in.accept(',');
  }
  const auto day = in.number(1, 2);
  if (!day || *day < 1 || *day > 31) return std::nullopt;
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string monthName = in.word();
  int month = 0;
  for (int m = 0; m < 12; ++m)
    if (monthName.compare(0, 3, kMonths[m]) == 0 && monthName.size() >= 3) month = m + 1;
  if (month == 0) return std::nullopt;
  size_t digits = 0;
  auto year = in.number(2, 4, &digits);
  if (!year) return std::nullopt;
  if (digits == 2) *year += *year < 50 ? 2000 : 1900;
  if (digits == 3) *year += 1900;
  const auto hour = in.number(1, 2);
  if (!hour || *hour > 23 || !in.accept(':')) return std::nullopt;
  const auto minute = in.number(2, 2);
  if (!minute || *minute > 59) return std::nullopt;
  int second = 0;
  if (in.accept(':')) {
    const auto s = in.number(2, 2);
    if (!s || *s > 60) return std::nullopt;
    second = *s;
  }
  const auto offset = zoneOffset(in);
  if (!offset || !in.atEnd()) return std::nullopt;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
  if (*day > kDays[month - 1] || (month == 2 && *day == 29 && !leap)) return std::nullopt;
  return daysFromCivil(*year, month, *day) * 86400 + *hour * 3600 + *minute * 60 + second - *offset * 60;
}

constexpr int64_t kFirstFileTimeSecond = -11644473600LL;  // 1601-01-01T00:00:00Z

}  // namespace

std::optional<uint64_t> parseMailDate(std::string_view raw) {
  const std::string text = unfoldHeader(raw);
  if (text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  // The standard form is read here, any year from 1601 on; GMime reads the stranger forms
  // mailers wrote, but no date before 1970.
  if (const auto seconds = parseRfc5322(text)) {
    if (*seconds < kFirstFileTimeSecond || *seconds > 7258118400LL /* 2200-01-01 */) return std::nullopt;
    return unixSecondsToFileTime(*seconds);
  }
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
