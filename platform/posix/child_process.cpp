#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#include <thread>

extern char** environ;

namespace platform {

namespace {

// A pipe of this size takes a typical reply in one write instead of sixteen.
constexpr int kReplyPipeSize = 1 << 20;

// Pipe ends above the standard descriptors, so that placing them in the child cannot overwrite
// one another even when this program was started with a standard stream closed. Returns -1
// (errno set) when it cannot; `fd` is closed either way.
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

// The signal a write to a dead child raised on this thread (where it is blocked) is taken
// back, so that it never reaches the program.
void discardPendingBrokenPipe() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  const timespec now{0, 0};
  while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
  }
}

ProcessEnd endFrom(int status) {
  if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
  return {false, WEXITSTATUS(status)};
}

}  // namespace

std::optional<ChildProcess::StartFailure> ChildProcess::start(const std::filesystem::path& program,
                                                              const std::vector<std::string>& arguments,
                                                              int replyDescriptor) {
  int requests[2], replies[2];
  if (pipe2(requests, O_CLOEXEC) != 0) return StartFailure{Stage::Pipes, errno};
  if (pipe2(replies, O_CLOEXEC) != 0) {
    const int error = errno;
    close(requests[0]);
    close(requests[1]);
    return StartFailure{Stage::Pipes, error};
  }
  int raiseError = 0;
  for (int* fd : {&requests[0], &requests[1], &replies[0], &replies[1]}) {
    *fd = raised(*fd);
    if (*fd < 0 && raiseError == 0) raiseError = errno;
  }
  if (raiseError != 0) {
    for (int fd : {requests[0], requests[1], replies[0], replies[1]})
      if (fd >= 0) close(fd);
    return StartFailure{Stage::PipeSetup, raiseError};
  }
  fcntl(replies[0], F_SETPIPE_SZ, kReplyPipeSize);  // only fewer wake-ups if it fails

  SpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, requests[0], STDIN_FILENO);
  // Whatever a library prints to standard output goes where this program's errors go.
  if (fcntl(STDERR_FILENO, F_GETFD) >= 0) {
    posix_spawn_file_actions_adddup2(&setup.actions, STDERR_FILENO, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&setup.actions, replies[1], replyDescriptor);
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, replyDescriptor + 1);
  // Its own process group: Ctrl+C in the terminal is this program's alone to act on.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);

  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  close(requests[0]);
  close(replies[1]);
  if (error != 0) {
    close(requests[1]);
    close(replies[0]);
    return StartFailure{Stage::Program, error};
  }
  id_ = pid;
  requests_ = requests[1];
  replies_ = replies[0];
  handle_ = syscall(SYS_pidfd_open, pid, 0);
  return std::nullopt;
}

void ChildProcess::reap() {
  int status = 0;
  while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
  }
  end_ = endFrom(status);
  reaped_ = true;
}

void ChildProcess::closeAll() {
  for (long long fd : {handle_, static_cast<long long>(requests_), static_cast<long long>(replies_)})
    if (fd >= 0) close(static_cast<int>(fd));
  handle_ = requests_ = replies_ = -1;
}

ChildProcess::~ChildProcess() {
  if (id_ >= 0 && !reaped_) {
    kill();
    reap();
  }
  closeAll();
}

bool ChildProcess::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(requests_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      discardPendingBrokenPipe();  // EPIPE: the thread blocks SIGPIPE
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void ChildProcess::kill() {
  if (handle_ >= 0) {
    syscall(SYS_pidfd_send_signal, static_cast<int>(handle_), SIGKILL, nullptr, 0);
  } else if (id_ >= 0 && !reaped_) {
    ::kill(static_cast<pid_t>(id_), SIGKILL);  // a kernel without pidfds
  }
}

ProcessEnd ChildProcess::waitForEnd(std::chrono::milliseconds grace) {
  if (reaped_) return end_;
  // Its end of the pipe closes as it exits, a moment before it can be waited for.
  const auto giveUp = std::chrono::steady_clock::now() + grace;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (done == id_) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > giveUp) {
      kill();
      while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  end_ = endFrom(status);
  reaped_ = true;
  return end_;
}

void shieldThreadFromBrokenPipes() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

long long currentProcessId() { return getpid(); }

}  // namespace platform
