#include "conversion/reader_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "reader/protocol.h"

extern char** environ;

namespace conversion {

namespace {

// A pipe of this size takes a typical message in one write instead of sixteen.
constexpr int kReplyPipeSize = 1 << 20;

[[noreturn]] void fail(const char* what, int error) { throw ReaderStartError(startFailureText(what, error)); }

// What the system says when the program itself cannot be run.
[[noreturn]] void failProgram(const std::filesystem::path& program, int error) {
  const std::string named = "the reader program " + program.string();
  if (error == EACCES || error == EPERM) throw ReaderStartError(named + " is not executable: " + std::strerror(error));
  if (error == ENOENT) throw ReaderStartError(named + " is missing: " + std::strerror(error));
  if (error == ENOEXEC || error == ELIBBAD)
    throw ReaderStartError(named + " is not a program this system can run: " + std::strerror(error));
  fail("cannot start a reader process", error);
}

// Pipe ends above the standard descriptors, so that placing them at 0 and 3 in the reader
// cannot overwrite one another even when the converter was started with a standard stream closed.
// Returns -1 (errno set) when it cannot; `fd` is closed either way.
int raised(int fd) {
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  // EINVAL: the limit on open files is 10 or less, so no descriptor above 10 can be had.
  const int error = errno == EINVAL ? EMFILE : errno;
  close(fd);
  errno = error;
  return high;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

}  // namespace

std::string startFailureText(const std::string& what, int error) {
  std::string text = what + ": " + std::strerror(error);
  if (error == EAGAIN) text += " (the limit on processes, ulimit -u, is reached)";
  if (error == EMFILE) text += " (the limit on open files, ulimit -n, is reached)";
  if (error == ENFILE) text += " (the system's limit on open files is reached)";
  return text;
}

ReaderProcess::ReaderProcess(const std::filesystem::path& program, uint64_t memoryCap, int injectedError) {
  if (injectedError != 0) fail("cannot start a reader process", injectedError);
  int requests[2], replies[2];
  if (pipe2(requests, O_CLOEXEC) != 0) fail("cannot create the reader's pipes", errno);
  if (pipe2(replies, O_CLOEXEC) != 0) {
    const int error = errno;
    close(requests[0]);
    close(requests[1]);
    fail("cannot create the reader's pipes", error);
  }
  int raiseError = 0;
  for (int* fd : {&requests[0], &requests[1], &replies[0], &replies[1]}) {
    *fd = raised(*fd);
    if (*fd < 0 && raiseError == 0) raiseError = errno;
  }
  if (raiseError != 0) {
    for (int fd : {requests[0], requests[1], replies[0], replies[1]})
      if (fd >= 0) close(fd);
    fail("cannot set up the reader's pipes", raiseError);
  }
  fcntl(replies[0], F_SETPIPE_SZ, kReplyPipeSize);  // only fewer wake-ups if it fails

  SpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, requests[0], STDIN_FILENO);
  // Whatever a library prints to standard output goes where the converter's errors go.
  if (fcntl(STDERR_FILENO, F_GETFD) >= 0) {
    posix_spawn_file_actions_adddup2(&setup.actions, STDERR_FILENO, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&setup.actions, replies[1], reader::kReplyDescriptor);
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, reader::kReplyDescriptor + 1);
  // Its own process group: Ctrl+C in the terminal is the converter's alone to act on.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);

  const std::string cap = std::to_string(memoryCap);
  const std::string parent = std::to_string(getpid());
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--memory-cap"),
                             const_cast<char*>(cap.c_str()), const_cast<char*>("--parent"),
                             const_cast<char*>(parent.c_str()), nullptr};
  const int error = posix_spawn(&pid_, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  close(requests[0]);
  close(replies[1]);
  if (error != 0) {
    close(requests[1]);
    close(replies[0]);
    failProgram(program, error);
  }
  requests_ = requests[1];
  replies_ = replies[0];
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ReaderProcess::~ReaderProcess() {
  if (!reaped_) {
    kill();
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
  }
  close(pidfd_);
  close(requests_);
  close(replies_);
}

bool ReaderProcess::send(std::string_view frame) {
  while (!frame.empty()) {
    const ssize_t n = write(requests_, frame.data(), frame.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // EPIPE: the caller blocks SIGPIPE
    frame.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void ReaderProcess::kill() {
  if (pidfd_ >= 0) {
    syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0);
  } else if (!reaped_) {
    ::kill(pid_, SIGKILL);  // a kernel without pidfds
  }
}

size_t ReplyStream::fill(void* into, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, into, size);
    if (n > 0) {
      progress_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
      return static_cast<size_t>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    throw ReaderGone{};
  }
}

void ReplyStream::read(void* into, size_t size) {
  auto* out = static_cast<uint8_t*>(into);
  while (size > 0) {
    if (at_ == end_) {
      // A large value goes straight to its place; small ones come from the buffer.
      if (size >= buffer_.size()) {
        const size_t n = fill(out, size);
        out += n;
        size -= n;
        continue;
      }
      at_ = 0;
      end_ = fill(buffer_.data(), buffer_.size());
    }
    const size_t n = std::min(size, end_ - at_);
    std::memcpy(out, buffer_.data() + at_, n);
    at_ += n;
    out += n;
    size -= n;
  }
}

int ReaderProcess::waitForEnd() {
  if (reaped_) return status_;
  // Its end of the pipe closes as it exits, a moment before it can be waited for.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    const pid_t done = waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > giveUp) {
      kill();
      while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  reaped_ = true;
  return status_;
}

std::string memoryText(uint64_t bytes) {
  constexpr uint64_t kGb = uint64_t{1} << 30, kMb = uint64_t{1} << 20;
  if (bytes >= kGb && bytes % kGb == 0) return std::to_string(bytes / kGb) + " GB";
  return std::to_string((bytes + kMb / 2) / kMb) + " MB";
}

std::string readerEndReason(int waitStatus, uint64_t memoryCap) {
  const std::string prefix = "the message could not be read: ";
  if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == reader::kExitOutOfMemory)
    return prefix + "the reader needs more than " + memoryText(memoryCap) + " of memory";
  if (WIFSIGNALED(waitStatus)) return prefix + "the reader stopped with signal " + std::to_string(WTERMSIG(waitStatus));
  return prefix + "the reader ended unexpectedly with exit status " + std::to_string(WEXITSTATUS(waitStatus));
}

}  // namespace conversion
