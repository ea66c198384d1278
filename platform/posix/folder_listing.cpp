#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/stat_status.h"

namespace platform {

namespace {

std::optional<FileKind> kindOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return FileKind::Regular;
    case DT_DIR:
      return FileKind::Folder;
    case DT_LNK:
      return FileKind::Link;
    case DT_FIFO:
      return FileKind::NamedPipe;
    case DT_SOCK:
      return FileKind::Socket;
    case DT_CHR:
      return FileKind::CharacterDevice;
    case DT_BLK:
      return FileKind::BlockDevice;
    case DT_UNKNOWN:
      return std::nullopt;
    default:
      return FileKind::Other;
  }
}

}  // namespace

FolderReader::~FolderReader() {
  if (listing_) closedir(static_cast<DIR*>(listing_));
}

bool FolderReader::open(const std::string& folder, bool followLink) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
  DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
  if (!dir) {
    const int error = errno;
    if (fd >= 0) close(fd);
    errno = error;
    return false;
  }
  listing_ = dir;
  fd_ = dirfd(dir);
  return true;
}

bool FolderReader::next(FolderEntry& entry) {
  for (;;) {
    errno = 0;
    const dirent* found = readdir(static_cast<DIR*>(listing_));
    if (!found) return false;
    entry.name = found->d_name;
    if (entry.name == "." || entry.name == "..") continue;
    entry.kind = kindOf(found->d_type);
    return true;
  }
}

bool statusIn(int folder, const std::string& name, FileStatus& status, bool followLinks) {
  struct stat info {};
  if (fstatat(folder, name.c_str(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return false;
  status = posix::statusFromStat(info);
  return true;
}

std::string linkTargetIn(int folder, const std::string& name) {
  char target[4096];
  const ssize_t n = readlinkat(folder, name.c_str(), target, sizeof target);
  return n < 0 ? std::string() : std::string(target, static_cast<size_t>(n));
}

}  // namespace platform
