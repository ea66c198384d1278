#include "cli/message_files.h"

#include <filesystem>

#include "messagelist/file_checks.h"
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
      if (auto why = messagelist::UnusableFileReason(path)) {
        collected.skipped.push_back({path, std::move(*why)});
      } else {
        collected.files.add({}, path);
      }
      continue;
    }
    messagelist::pathLogger scanner;
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(true);
    scanner.setFileSink([&collected](const std::string& folder, const std::string& name) {
      if (messagelist::IsMessageFileName(name)) collected.files.add(folder, name);
    });
    scanner.LogPath(messagelist::EnsureTrailingSeparator(path));
    for (const messagelist::ScanSkip& skip : scanner.skipped()) {
      const bool folder = skip.path.back() == messagelist::kPathSeparator;
      if (folder || messagelist::IsMessageFileName(skip.path)) collected.skipped.push_back({skip.path, skip.reason});
    }
    scanner.Terminate();
  }
  return collected;
}

}  // namespace cli
