#include "platform/file_status.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/posix/stat_status.h"

namespace platform {

namespace {

FileKind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Folder;
  if (S_ISLNK(mode)) return FileKind::Link;
  if (S_ISFIFO(mode)) return FileKind::NamedPipe;
  if (S_ISCHR(mode)) return FileKind::CharacterDevice;
  if (S_ISBLK(mode)) return FileKind::BlockDevice;
  if (S_ISSOCK(mode)) return FileKind::Socket;
  return FileKind::Other;
}

}  // namespace

FileStatus posix::statusFromStat(const struct stat& info) {
  FileStatus status;
  status.kind = kindOf(info.st_mode);
  status.size = static_cast<uint64_t>(info.st_size);
  status.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  status.modifiedNanoseconds = static_cast<uint32_t>(info.st_mtim.tv_nsec);
  status.links = static_cast<uint64_t>(info.st_nlink);
  status.device = static_cast<uint64_t>(info.st_dev);
  status.inode = static_cast<uint64_t>(info.st_ino);
  return status;
}

bool statusOf(const std::filesystem::path& file, FileStatus& status, bool followLinks) {
  struct stat info {};
  if ((followLinks ? ::stat(file.c_str(), &info) : ::lstat(file.c_str(), &info)) != 0) return false;
  status = posix::statusFromStat(info);
  return true;
}

bool statusOf(int fd, FileStatus& status) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  status = posix::statusFromStat(info);
  return true;
}

std::optional<std::string> realPath(const std::filesystem::path& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return std::nullopt;
  return std::string(buffer);
}

std::filesystem::path fullPath(const std::filesystem::path& path) {
  std::error_code unknown;
  const std::filesystem::path full = std::filesystem::absolute(path, unknown);
  return unknown ? path : full.lexically_normal();
}

}  // namespace platform
