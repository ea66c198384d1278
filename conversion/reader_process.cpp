#include "conversion/reader_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "reader/protocol.h"

namespace conversion {

namespace {

#ifdef ELIBBAD
constexpr int kBadLibrary = ELIBBAD;  // Linux: an interpreter or library of the program is damaged
#else
constexpr int kBadLibrary = ENOEXEC;
#endif

[[noreturn]] void fail(const char* what, int error) { throw ReaderStartError(startFailureText(what, error)); }

// What the system says when the program itself cannot be run.
[[noreturn]] void failProgram(const std::filesystem::path& program, int error) {
  const std::string named = "the reader program " + program.string();
  if (error == EACCES || error == EPERM) throw ReaderStartError(named + " is not executable: " + std::strerror(error));
  if (error == ENOENT) throw ReaderStartError(named + " is missing: " + std::strerror(error));
  if (error == ENOEXEC || error == kBadLibrary)
    throw ReaderStartError(named + " is not a program this system can run: " + std::strerror(error));
  fail("cannot start a reader process", error);
}

}  // namespace

std::string startFailureText(const std::string& what, int error) {
  std::string text = what + ": " + std::strerror(error);
  if (error == EAGAIN) text += " (the limit on processes, ulimit -u, is reached)";
  if (error == EMFILE) text += " (the limit on open files, ulimit -n, is reached)";
  if (error == ENFILE) text += " (the system's limit on open files is reached)";
  return text;
}

ReaderProcess::ReaderProcess(const std::filesystem::path& program, uint64_t memoryCap, bool digests,
                             int injectedError) {
  if (injectedError != 0) fail("cannot start a reader process", injectedError);
  const std::vector<std::string> arguments = {"--memory-cap", std::to_string(memoryCap), "--parent",
                                              std::to_string(platform::currentProcessId()), "--digests",
                                              digests ? "1" : "0"};
  const auto failure = child_.start(program, arguments, reader::kReplyDescriptor);
  if (!failure) return;
  using Stage = platform::ChildProcess::Stage;
  if (failure->stage == Stage::Pipes) fail("cannot create the reader's pipes", failure->error);
  if (failure->stage == Stage::PipeSetup) fail("cannot set up the reader's pipes", failure->error);
  failProgram(program, failure->error);
}

ReaderProcess::~ReaderProcess() = default;

bool ReaderProcess::send(std::string_view frame) { return child_.send(frame); }

void ReaderProcess::kill() { child_.kill(); }

size_t ReplyStream::fill(void* into, size_t size) {
  const long long n = platform::readSome(fd_, into, size);
  if (n <= 0) throw ReaderGone{};
  progress_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  return static_cast<size_t>(n);
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

platform::ProcessEnd ReaderProcess::waitForEnd() {
  // Its end of the pipe closes as it exits, a moment before it can be waited for.
  return child_.waitForEnd(std::chrono::seconds(2));
}

std::string memoryText(uint64_t bytes) {
  constexpr uint64_t kGb = uint64_t{1} << 30, kMb = uint64_t{1} << 20;
  if (bytes >= kGb && bytes % kGb == 0) return std::to_string(bytes / kGb) + " GB";
  return std::to_string((bytes + kMb / 2) / kMb) + " MB";
}

std::string readerEndReason(platform::ProcessEnd end, uint64_t memoryCap) {
  const std::string prefix = "the message could not be read: ";
  if (!end.signaled && end.code == reader::kExitOutOfMemory)
    return prefix + "the reader needs more than " + memoryText(memoryCap) + " of memory";
  if (end.signaled) return prefix + "the reader stopped with signal " + std::to_string(end.code);
  return prefix + "the reader ended unexpectedly with exit status " + std::to_string(end.code);
}

}  // namespace conversion
