#include "messagelist/file_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace messagelist {

std::string notRegularFileReason(mode_t mode) {
  if (S_ISFIFO(mode)) return "not a regular file (a named pipe)";
  if (S_ISSOCK(mode)) return "not a regular file (a socket)";
  if (S_ISCHR(mode)) return "not a regular file (a character device)";
  if (S_ISBLK(mode)) return "not a regular file (a block device)";
  return "not a regular file";
}

std::string brokenLinkReason(int error, const std::string& target) {
  if (error == ENOENT || error == ENOTDIR) return "a link to something that does not exist (" + target + ")";
  // Linux follows at most 40 links in one lookup.
  if (error == ELOOP) return "a link that loops, or leads through more than 40 links (" + target + ")";
  if (error == ENAMETOOLONG) return "a link to a path longer than the system allows (" + target + ")";
  return "a link whose target cannot be examined (" + std::string(std::strerror(error)) + ")";
}

std::string tooLongReason(size_t length) {
  return "the path is " + std::to_string(length) + " bytes long, longer than the " + std::to_string(kLongestPath) +
         " bytes the system allows";
}

std::string unreadableFolderReason(int error, bool partly) {
  if (error == ENAMETOOLONG) return "the folder's path is longer than the system allows";
  return std::string(partly ? "the folder could not be read completely (" : "the folder could not be read (") +
         std::strerror(error) + ")";
}

std::optional<std::string> UnusableFileReason(const std::string& path) {
  if (path.size() > kLongestPath) return tooLongReason(path.size());
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return std::nullopt;
    return notRegularFileReason(info.st_mode);
  }
  const int error = errno;
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return std::nullopt;
  std::vector<char> target(static_cast<size_t>(link.st_size > 0 ? link.st_size : 255) + 1);
  const ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
  return brokenLinkReason(error, n < 0 ? std::string() : std::string(target.data(), static_cast<size_t>(n)));
}

}  // namespace messagelist
