// The exit statuses of vantorel-convert, with the meanings --help and the manual page give.
#pragma once

namespace cli {

inline constexpr int kAllConverted = 0;
inline constexpr int kSomeSkipped = 1;
inline constexpr int kFailed = 2;        // usage error, nothing to convert, or no PST written
inline constexpr int kInterrupted = 130;  // 128 + SIGINT, as shells report a Ctrl+C

struct ExitStatusMeaning {
  int status;
  const char* meaning;
};

inline constexpr ExitStatusMeaning kExitStatuses[] = {
    {kAllConverted, "every listed file was converted"},
    {kSomeSkipped, "the PST file is complete, but some files were skipped"},
    {kFailed, "usage error, nothing to convert, or the PST file could not be written"},
    {kInterrupted, "stopped by Ctrl+C; the PST file is complete and holds every message converted before"},
};

}  // namespace cli
