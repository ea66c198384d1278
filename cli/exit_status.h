// The exit statuses of vantorel-convert, with the meanings --help and the manual page give.
#pragma once

namespace cli {

inline constexpr int kAllConverted = 0;
inline constexpr int kSomeSkipped = 1;
inline constexpr int kFailed = 2;        // usage error, nothing to convert, or no PST written
inline constexpr int kStoppedAtOnce = 3;  // a second stop signal: the unfinished PST was removed
// 128 + the signal, as shells report a program a signal ended: the run was stopped, and its
// PST completed, on the first Ctrl+C (SIGINT), SIGTERM or SIGHUP.
inline constexpr int kInterrupted = 130;
inline constexpr int kTerminated = 143;
inline constexpr int kHungUp = 129;

struct ExitStatusMeaning {
  int status;
  const char* meaning;
};

inline constexpr ExitStatusMeaning kExitStatuses[] = {
    {kAllConverted, "every listed file was converted"},
    {kSomeSkipped, "the PST file is complete, but some files were skipped"},
    {kFailed, "usage error, nothing to convert, no message reader could be started, the PST file could not be "
              "written, or the ledger could not be used or written"},
    {kStoppedAtOnce,
     "stopped at once by a second Ctrl+C, SIGTERM or SIGHUP; the PST file being written was removed, those "
     "completed before are kept"},
    {kHungUp, "stopped by SIGHUP; the PST file is complete and holds every message converted before"},
    {kInterrupted, "stopped by Ctrl+C; the PST file is complete and holds every message converted before"},
    {kTerminated, "stopped by SIGTERM; the PST file is complete and holds every message converted before"},
};

}  // namespace cli
