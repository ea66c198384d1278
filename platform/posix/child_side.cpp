#include "platform/child_side.h"

#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace platform::child {

bool followParent(long long parentId) {
  // A child outlives no parent, even one that was killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (parentId != 0 && getppid() != parentId) return false;
  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, SIG_IGN);  // Ctrl+C is the parent's to handle
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);  // a crash costs its file, not a core dump's disk and time
  return true;
}

void capMemory(uint64_t bytes) {
  const rlimit cap{bytes, bytes};
  setrlimit(RLIMIT_AS, &cap);
}

int requestInput() { return STDIN_FILENO; }

int replyOutput(int replyDescriptor) { return replyDescriptor; }

bool writePieces(int fd, std::span<const std::span<const uint8_t>> pieces) {
  std::vector<iovec> parts;
  parts.reserve(pieces.size());
  for (const auto& piece : pieces) parts.push_back({const_cast<uint8_t*>(piece.data()), piece.size()});
  size_t next = 0;
  while (next < parts.size()) {
    const int count = static_cast<int>(std::min<size_t>(parts.size() - next, IOV_MAX));
    const ssize_t n = writev(fd, parts.data() + next, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    size_t written = static_cast<size_t>(n);
    while (next < parts.size() && written >= parts[next].iov_len) written -= parts[next++].iov_len;
    if (written > 0) {
      parts[next].iov_base = static_cast<char*>(parts[next].iov_base) + written;
      parts[next].iov_len -= written;
    }
  }
  return true;
}

void endNow(int status) { _exit(status); }

void crash() {
  raise(SIGSEGV);
  _exit(128 + SIGSEGV);
}

}  // namespace platform::child
