// A new file written mostly front to back, with the occasional write at an earlier offset
// (map pages and the header). Full buffers go to disk on a background thread while the next
// one fills, so encoding and checksumming overlap with the kernel's copy.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pst::ndb {

// The PST file being written (no format structure of its own).
class OutputFile {
 public:
  // Small enough to stay in the CPU cache while the kernel copies it: measured faster than
  // multi-megabyte buffers, whose copy into the page cache misses the cache on every line.
  static constexpr size_t kBufferSize = 256u << 10;

  // Creates the file exclusively; pst::Error if it exists or cannot be created. With
  // `adopted`, writes instead through that descriptor of an empty file the caller created as
  // `path`, and closes it when done.
  explicit OutputFile(const std::filesystem::path& path, int adopted = -1);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes `data` at `offset`. Offsets past the current end leave zeros in between. This and
  // finish() throw WriteFailure when the disk refuses the bytes.
  void write(uint64_t offset, std::span<const uint8_t> data);
  // Sets the file length (zeros past the last write) and makes everything durable.
  void finish(uint64_t length);
  // Closes and deletes an unfinished file, unless another has taken its name meanwhile.
  void discard();

 private:
  void flush();
  void waitIdle();  // waits for the background write, rethrows its failure, applies deferred writes
  void stopThread();
  [[noreturn]] void fail(std::string message);  // records the first failure and throws it
  void run();
  std::string pwriteAll(uint64_t offset, const uint8_t* data, size_t size);

  std::filesystem::path path_;
  int fd_ = -1;
  uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::vector<uint8_t> buffer_;

  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<uint8_t> inflight_;  // owned by the thread while busy_
  uint64_t inflightStart_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  std::string error_;  // first failure of the background write
  // Writes into the range still being written in the background, applied once it is done.
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> deferred_;
  std::thread thread_;
};

}  // namespace pst::ndb
