#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int openForReading(const std::filesystem::path& file, unsigned how) {
  int flags = O_RDONLY | O_CLOEXEC;
  if (how & kNoWait) flags |= O_NONBLOCK;
  if (how & kNoFollow) flags |= O_NOFOLLOW;
  if (how & kKeepAccessTime) {
    const int fd = ::open(file.c_str(), flags | O_NOATIME);
    // O_NOATIME is for the file's owner (or root) only.
    if (fd >= 0 || errno != EPERM) return fd;
  }
  return ::open(file.c_str(), flags);
}

int createNew(const std::filesystem::path& file) {
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

long long readSome(int fd, void* into, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, into, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

long long writeSome(int fd, const void* from, size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, from, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

long long readAt(int fd, void* into, size_t size, uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

long long writeAt(int fd, const void* from, size_t size, uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pwrite(fd, from, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int resize(int fd, uint64_t length) { return ::ftruncate(fd, static_cast<off_t>(length)); }

int flushToDisk(int fd) { return ::fsync(fd); }

int closeFile(int fd) { return ::close(fd); }

int duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

std::FILE* openStream(const std::filesystem::path& file, const char* mode) { return std::fopen(file.c_str(), mode); }

}  // namespace platform
