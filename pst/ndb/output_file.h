// A new file written mostly front to back through a large buffer, with the occasional
// write at an earlier offset (map pages and the header).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace pst::ndb {

class OutputFile {
 public:
  // Small enough to stay in the CPU cache while the kernel copies it: measured faster than
  // multi-megabyte buffers, whose copy into the page cache misses the cache on every line.
  static constexpr size_t kBufferSize = 256u << 10;

  // Creates the file exclusively; pst::Error if it exists or cannot be created.
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes `data` at `offset`. Offsets past the current end leave zeros in between.
  void write(uint64_t offset, std::span<const uint8_t> data);
  // Sets the file length (zeros past the last write) and makes everything durable.
  void finish(uint64_t length);
  // Closes and deletes an unfinished file.
  void discard();

 private:
  void flush();
  void pwriteAll(uint64_t offset, const uint8_t* data, size_t size);

  std::filesystem::path path_;
  int fd_ = -1;
  uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::vector<uint8_t> buffer_;
};

}  // namespace pst::ndb
