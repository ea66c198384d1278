#include "platform/stop_requests.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace platform {

static_assert(kStopHangUp == SIGHUP && kStopInterrupt == SIGINT && kStopTerminate == SIGTERM);

void installStopHandler(StopHandler handler) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);  // one at a time
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction inherited {};
    if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void writeErrorNow(const char* text, size_t size) {
  if (write(STDERR_FILENO, text, size) < 0) {
  }
}

void endProgramNow(int status) { _exit(status); }

}  // namespace platform
