#include "cli/message_files.h"

#include <filesystem>

#include "messagelist/message_filter.h"
#include "messagelist/path_logger.h"

namespace cli {

namespace fs = std::filesystem;

CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths) {
  CollectedFiles collected;
  for (const std::string& given : paths) {
    std::error_code ec;
    const fs::path full = fs::absolute(given, ec).lexically_normal();
    const std::string path = ec ? given : full.string();
    if (!fs::is_directory(full, ec)) {
      collected.files.push_back(path);
      continue;
    }
    messagelist::pathLogger scanner;
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(true);
    scanner.LogPath(messagelist::EnsureTrailingSeparator(path));
    const auto found = scanner.fullFileNames();
    collected.unreadableFolders += scanner.skippedFolders();
    scanner.Terminate();
    for (const std::string& file : *found) {
      if (messagelist::IsMessageFileName(file)) collected.files.push_back(file);
    }
  }
  return collected;
}

}  // namespace cli
