#include "messagelist/file_checks.h"
#include "platform/path_text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace messagelist {

std::string notRegularFileReason(platform::FileKind kind) {
  using platform::FileKind;
  if (kind == FileKind::NamedPipe) return "not a regular file (a named pipe)";
  if (kind == FileKind::Socket) return "not a regular file (a socket)";
  if (kind == FileKind::CharacterDevice) return "not a regular file (a character device)";
  if (kind == FileKind::BlockDevice) return "not a regular file (a block device)";
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
  const std::filesystem::path file = platform::pathFromText(path);
  platform::FileStatus info;
  if (platform::statusOf(file, info)) {
    if (info.kind == platform::FileKind::Regular || info.kind == platform::FileKind::Folder) return std::nullopt;
    return notRegularFileReason(info.kind);
  }
  const int error = errno;
  platform::FileStatus link;
  if (!platform::statusOf(file, link, false) || link.kind != platform::FileKind::Link) return std::nullopt;
  std::error_code unreadable;
  const std::filesystem::path target = std::filesystem::read_symlink(file, unreadable);
  return brokenLinkReason(error, unreadable ? std::string() : target.string());
}

}  // namespace messagelist
