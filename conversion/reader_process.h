// One message reader process (vantorel-reader) as the converter drives it: a child process
// (platform/child_process.h) fed requests on one pipe, answering on another, killed when done.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/child_process.h"
#include "reader/message_codec.h"

namespace conversion {

// Why a reader could not be started, in words (startFailureText).
class ReaderStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "cannot start a reader process: Resource temporarily unavailable (the limit on processes,
// ulimit -u, is reached)": `what` failed with the errno value `error`, and the limit behind it
// when one is.
std::string startFailureText(const std::string& what, int error);

class ReaderProcess {
 public:
  // Starts `program` capped at `memoryCap` bytes; throws ReaderStartError when it cannot be
  // started. `injectedError`, for tests, fails the start as if the system had refused it so.
  // `digests`: the reader sends the SHA-256 of each file's bytes with its message.
  ReaderProcess(const std::filesystem::path& program, uint64_t memoryCap, bool digests, int injectedError = 0);
  // Kills the reader, whatever it is doing, and waits for it.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Sends one request frame; false when the reader is gone.
  bool send(std::string_view frame);
  // The reader's replies, read with blocking reads.
  int replyDescriptor() const { return child_.replies(); }
  // Kills the reader at once (from any thread; it is waited for by waitForEnd or the destructor).
  void kill();
  // After its replies ended: waits a moment for the reader's end and returns how it ended;
  // a reader that does not end is killed. Called from one thread only.
  platform::ProcessEnd waitForEnd();

 private:
  platform::ChildProcess child_;
};

// Thrown by ReplyStream when the replies end (the reader died or was killed).
struct ReaderGone {};

// A reader's replies as one stream of bytes: small reads go through a buffer, large ones
// straight into where the decoded message keeps them. Records the time of every arrival in
// `progress` (steady clock ticks), so that a reader that stops sending can be told apart from
// one that is busy sending.
class ReplyStream final : public reader::ByteSource {
 public:
  ReplyStream(int fd, std::atomic<int64_t>& progress) : fd_(fd), progress_(progress) {}
  void read(void* into, size_t size) override;

 private:
  size_t fill(void* into, size_t size);  // one read(); throws ReaderGone at the end

  int fd_;
  std::atomic<int64_t>& progress_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(64 << 10);
  size_t at_ = 0, end_ = 0;
};

// The reason a file is skipped for when its reader ended so while reading it.
std::string readerEndReason(platform::ProcessEnd end, uint64_t memoryCap);
// "2 GB", "512 MB": a byte count as the reasons name it.
std::string memoryText(uint64_t bytes);

}  // namespace conversion
