#include "platform/output_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool names(int folder, const char* name, int fd) {
  struct stat mine {}, named {};
  return fstat(fd, &mine) == 0 && fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(mine, named);
}

}  // namespace

int openFolder(const std::filesystem::path& folder) { return open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); }

bool nameTaken(int folder, const std::filesystem::path& name) {
  struct stat info {};
  return fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

int createNewIn(int folder, const std::filesystem::path& name) {
  return openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

bool namesFile(int folder, const std::filesystem::path& name, int fd) { return names(folder, name.c_str(), fd); }

int renameNoReplace(int folder, const std::filesystem::path& from, const std::filesystem::path& to) {
  return renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

int linkNoReplace(int folder, int fd, const std::filesystem::path& to) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return linkat(AT_FDCWD, self, folder, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

void removeName(int folder, const std::filesystem::path& name) { unlinkat(folder, name.c_str(), 0); }

std::string currentPath(int fd) {
  char link[64], where[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, where, sizeof where - 1);
  return n > 0 ? std::string(where, static_cast<size_t>(n)) : std::string();
}

bool removeIfStillNamed(int folder, int fd, const char* name) {
  return names(folder, name, fd) && unlinkat(folder, name, 0) == 0;
}

}  // namespace platform
