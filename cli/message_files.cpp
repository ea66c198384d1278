#include "cli/message_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "messagelist/message_filter.h"
#include "messagelist/path_logger.h"

namespace cli {

namespace fs = std::filesystem;

std::string UnusablePathProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "no such file or folder";
    return std::strerror(errno);
  }
  if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return {};
  return "neither a file nor a folder";
}

CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths) {
  CollectedFiles collected;
  for (const std::string& given : paths) {
    std::error_code ec;
    const fs::path full = fs::absolute(given, ec).lexically_normal();
    const std::string path = ec ? given : full.string();
    if (!fs::is_directory(full, ec)) {
      collected.files.add({}, path);
      continue;
    }
    messagelist::pathLogger scanner;
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(true);
    scanner.setFileSink([&collected](const std::string& folder, const std::string& name) {
      if (messagelist::IsMessageFileName(name)) collected.files.add(folder, name);
    });
    scanner.LogPath(messagelist::EnsureTrailingSeparator(path));
    collected.unreadableFolders += scanner.skippedFolders();
    scanner.Terminate();
  }
  return collected;
}

}  // namespace cli
