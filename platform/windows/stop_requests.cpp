#include "platform/stop_requests.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/windows/windows_support.h"

namespace platform {

namespace {

std::atomic<StopHandler> installed{nullptr};
std::mutex oneAtATime;

BOOL WINAPI onConsoleEvent(DWORD event) {
  int request;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      request = kStopInterrupt;
      break;
    case CTRL_CLOSE_EVENT:
      request = kStopHangUp;
      break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      request = kStopTerminate;
      break;
    default:
      return FALSE;
  }
  const StopHandler handler = installed.load();
  if (!handler) return FALSE;
  {
    std::lock_guard lock(oneAtATime);
    handler(request);
  }
  // After a closed console, a log-off or a shutdown the system ends the program as soon as
  // this returns: waiting here gives the run the few seconds it is granted to complete the PST.
  if (request != kStopInterrupt) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void installStopHandler(StopHandler handler) {
  // A program started with Ctrl+C disabled (as a child of a new process group) does not get
  // it here either: it stays ignored.
  installed.store(handler);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void writeErrorNow(const char* text, size_t size) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
}

void endProgramNow(int status) {
  // From the console's own thread: the other threads are stopped where they are, as _exit does.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  std::_Exit(status);
}

}  // namespace platform
