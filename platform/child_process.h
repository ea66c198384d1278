// A child program driven through two pipes: requests go to its standard input, its replies
// come from a channel of their own, so that whatever a library prints cannot mix with them.
// The child runs in its own process group (Ctrl+C in the terminal is the parent's to act on),
// and it is killed rather than asked to stop. Descriptors as in files.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// How a child ended: its exit status, or the signal that ended it (on Windows, the exception
// code of a crash).
struct ProcessEnd {
  bool signaled = false;
  int code = 0;
};

class ChildProcess {
 public:
  enum class Stage { Pipes, PipeSetup, Program };  // what failed: making the pipes, placing them, or the program
  struct StartFailure {
    Stage stage;
    int error;  // errno value
  };

  ChildProcess() = default;
  // Kills the child, whatever it is doing, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` with `arguments`. The child writes its replies to descriptor
  // `replyDescriptor` (Windows: to its standard output, which child_side.h takes over); its
  // standard output and error go to this program's standard error, or nowhere when that is
  // closed. Nothing on success.
  std::optional<StartFailure> start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                    int replyDescriptor);

  // Writes all of `bytes` to the child's standard input; false when the child is gone (the
  // broken pipe never becomes a signal to this program).
  bool send(std::string_view bytes);
  // The child's replies, for blocking reads with readSome (files.h).
  int replies() const { return replies_; }
  // Kills the child at once, from any thread; it is waited for by waitForEnd or the destructor.
  void kill();
  // After its replies ended: waits up to `grace` for the child's end, killing it if it does
  // not end, and says how it ended. From one thread only.
  ProcessEnd waitForEnd(std::chrono::milliseconds grace);

 private:
  void reap();
  void closeAll();

  long long id_ = -1;        // process id
  long long handle_ = -1;    // POSIX: a pidfd, so that a kill reaches this very process; Windows: the process handle
  long long group_ = -1;     // Windows: the Job Object that kills the child when this program ends
  int requests_ = -1;
  int replies_ = -1;
  bool reaped_ = false;
  ProcessEnd end_;
};

// Call on every thread that sends to children: a write to a child that died fails with EPIPE
// instead of ending this program.
void shieldThreadFromBrokenPipes();

// This program's process id, as a child is told its parent's.
long long currentProcessId();

}  // namespace platform
