// Requests to stop the program from outside: Ctrl+C, SIGTERM and SIGHUP on POSIX; Ctrl+C,
// Ctrl+Break, the console window closed, log-off and shutdown on Windows. Each is known by a
// number, the POSIX signal's, so that 128 + the number is the exit status on both systems.
#pragma once

#include <cstddef>

namespace platform {

inline constexpr int kStopHangUp = 1;     // SIGHUP; Windows: the console was closed
inline constexpr int kStopInterrupt = 2;  // SIGINT; Windows: Ctrl+C or Ctrl+Break
inline constexpr int kStopTerminate = 15; // SIGTERM; Windows: log-off or shutdown

using StopHandler = void (*)(int request);

// Routes every stop request to `handler`, one at a time. A signal the program was started to
// ignore stays ignored (under nohup a closed terminal does not stop a run). On POSIX the
// handler runs as a signal handler and may only do what is safe there.
void installStopHandler(StopHandler handler);
// Writes to standard error at once; safe in the handler.
void writeErrorNow(const char* text, size_t size);
// Ends the program at once with `status`; safe in the handler.
[[noreturn]] void endProgramNow(int status);

}  // namespace platform
