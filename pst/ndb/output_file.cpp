#include "pst/ndb/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/file_status.h"
#include "platform/files.h"
#include "pst/ndb/types.h"

namespace pst::ndb {

OutputFile::OutputFile(const std::filesystem::path& path, int adopted) : path_(path) {
  fd_ = adopted >= 0 ? adopted : platform::createNew(path);
  if (fd_ < 0) {
    const int err = errno;
    if (err == EEXIST)
      throw Error("The file " + path.string() + " already exists; choose another name or folder.");
    throw Error("Cannot create " + path.string() + ": " + std::strerror(err) +
                "; check that the folder exists and is writable.");
  }
  buffer_.reserve(kBufferSize);
  inflight_.reserve(kBufferSize);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread to spare (the limit on processes is reached): the buffers are written on this
    // thread instead, a little slower.
  }
}

OutputFile::~OutputFile() {
  stopThread();
  if (fd_ >= 0) platform::closeFile(fd_);
}

std::string OutputFile::pwriteAll(uint64_t offset, const uint8_t* data, size_t size) {
  while (size > 0) {
    const long long n = platform::writeAt(fd_, data, size, offset);
    if (n < 0) {
      return "Cannot write " + path_.string() + ": " + std::strerror(errno) + "; free disk space or choose another folder.";
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return {};
}

void OutputFile::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    lock.unlock();
    std::string err = pwriteAll(inflightStart_, inflight_.data(), inflight_.size());
    lock.lock();
    if (!err.empty() && error_.empty()) error_ = std::move(err);
    busy_ = false;
    cv_.notify_all();
  }
}

void OutputFile::waitIdle() {
  {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return !busy_; });
    if (!error_.empty()) throw WriteFailure(error_);
  }
  for (const auto& [offset, bytes] : deferred_)
    if (std::string err = pwriteAll(offset, bytes.data(), bytes.size()); !err.empty()) fail(std::move(err));
  deferred_.clear();
}

void OutputFile::stopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void OutputFile::flush() {
  waitIdle();
  if (!thread_.joinable()) {
    if (std::string err = pwriteAll(bufferStart_, buffer_.data(), buffer_.size()); !err.empty()) fail(std::move(err));
    bufferStart_ += buffer_.size();
    buffer_.clear();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    inflight_.swap(buffer_);
    inflightStart_ = bufferStart_;
    busy_ = !inflight_.empty();
  }
  cv_.notify_all();
  bufferStart_ += inflight_.size();
  buffer_.clear();
}

void OutputFile::fail(std::string message) {
  std::lock_guard lock(mutex_);
  if (error_.empty()) error_ = message;
  throw WriteFailure(error_);
}

void OutputFile::write(uint64_t offset, std::span<const uint8_t> data) {
  if (fd_ < 0) throw Error("Internal error: write to a closed PST file.");
  {
    // After one failed write the file has a hole; every later write fails the same way.
    std::lock_guard lock(mutex_);
    if (!error_.empty()) throw WriteFailure(error_);
  }
  // The part before the buffer has left it already: write it in place, or after the background
  // write if that covers the same bytes (both ranges only change on this thread).
  if (offset < bufferStart_) {
    const size_t head = static_cast<size_t>(std::min<uint64_t>(bufferStart_ - offset, data.size()));
    if (offset + head > inflightStart_ && offset < inflightStart_ + inflight_.size()) {
      deferred_.emplace_back(offset, std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(head)));
    } else if (std::string err = pwriteAll(offset, data.data(), head); !err.empty()) {
      fail(std::move(err));
    }
    data = data.subspan(head);
    offset += head;
    if (data.empty()) return;
  }
  uint64_t rel = offset - bufferStart_;
  if (rel > buffer_.size() && rel - buffer_.size() >= kBufferSize) {
    // A long gap: skip it instead of buffering zeros (the file reads zeros there).
    flush();
    bufferStart_ = offset;
    rel = 0;
  }
  // Blocks arrive mostly in file order: append them rather than zero-fill and overwrite.
  if (rel > buffer_.size()) buffer_.resize(static_cast<size_t>(rel), 0);
  const size_t overlap = std::min<size_t>(data.size(), buffer_.size() - static_cast<size_t>(rel));
  if (overlap > 0) std::memcpy(buffer_.data() + rel, data.data(), overlap);
  buffer_.insert(buffer_.end(), data.begin() + static_cast<std::ptrdiff_t>(overlap), data.end());
  if (buffer_.size() >= kBufferSize) flush();
}

void OutputFile::finish(uint64_t length) {
  flush();
  waitIdle();
  stopThread();
  if (platform::resize(fd_, length) != 0 || platform::flushToDisk(fd_) != 0)
    fail("Cannot complete " + path_.string() + ": " + std::strerror(errno) + "; free disk space or choose another folder.");
  if (platform::closeFile(fd_) != 0) {
    fd_ = -1;
    throw WriteFailure("Cannot complete " + path_.string() + ": " + std::strerror(errno) + ".");
  }
  fd_ = -1;
}

void OutputFile::discard() {
  stopThread();
  if (fd_ < 0) return;
  platform::FileStatus mine, named;
  const bool ours = platform::statusOf(fd_, mine) && platform::statusOf(path_, named, false) &&
                    platform::sameFile(mine, named);
  platform::closeFile(fd_);
  fd_ = -1;
  std::error_code ignored;
  if (ours) std::filesystem::remove(path_, ignored);
}

}  // namespace pst::ndb
