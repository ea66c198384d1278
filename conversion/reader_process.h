// One message reader process (vantorel-reader) as the converter drives it: started with
// posix_spawn, never by forking the converter (the window has many threads), fed requests and
// read from without blocking, ended with SIGKILL.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace conversion {

class ReaderProcess {
 public:
  // Starts `program` capped at `memoryCap` bytes; throws std::system_error when it cannot be started.
  ReaderProcess(const std::filesystem::path& program, uint64_t memoryCap);
  // Kills the reader, whatever it is doing, and waits for it.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Sends one request frame; false when the reader is gone.
  bool send(std::string_view frame);

  // Poll for input on this to learn that a reply (or the reader's end) is coming.
  int replyDescriptor() const { return replies_; }

  enum class Received {
    Nothing,   // no new bytes
    Partial,   // some bytes of a reply, not all
    Complete,  // payload() holds a whole reply
    Ended,     // the reader closed its end: it ended, or is ending
    Malformed, // the bytes are not a reply
  };
  // Reads what has arrived without blocking, at most up to the end of the current reply.
  Received receive();
  // The payload of the reply receive() completed; valid until the next receive().
  std::span<const uint8_t> payload() const { return {payload_, payloadLength_}; }

  // After Ended: waits a moment for the reader's end and returns its wait status; a reader
  // that does not end is killed.
  int waitForEnd();

 private:
  void resetReply();

  pid_t pid_ = -1;
  int requests_ = -1;
  int replies_ = -1;
  uint64_t maxPayload_;
  bool reaped_ = false;
  int status_ = 0;

  uint8_t header_[16];
  size_t headerHave_ = 0;
  uint8_t* payload_ = nullptr;  // malloc'd, grown as the reply arrives
  size_t payloadCapacity_ = 0;
  uint64_t payloadLength_ = 0;
  uint64_t payloadHave_ = 0;
  bool complete_ = false;
};

// The reason a file is skipped for when its reader ended with `waitStatus` while reading it.
std::string readerEndReason(int waitStatus, uint64_t memoryCap);
// "2 GB", "512 MB": a byte count as the reasons name it.
std::string memoryText(uint64_t bytes);

}  // namespace conversion
