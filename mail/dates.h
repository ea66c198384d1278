// Header dates as FILETIME (100 ns units since 1601-01-01 UTC).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mail {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

uint64_t unixSecondsToFileTime(int64_t seconds);

// Parses an RFC 822/5322 date (lenient about the usual deviations); nullopt when unusable.
std::optional<uint64_t> parseMailDate(std::string_view raw);

// The date of a Received header: the text after its last ';'.
std::optional<uint64_t> parseReceivedDate(std::string_view raw);

}  // namespace mail
