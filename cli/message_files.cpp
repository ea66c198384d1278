#include "cli/message_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "messagelist/file_checks.h"
#include "messagelist/message_filter.h"
#include "messagelist/path_logger.h"
#include "platform/file_status.h"
#include "platform/path_text.h"

namespace cli {

namespace fs = std::filesystem;

std::string UnusablePathProblem(const std::string& path) {
  platform::FileStatus info;
  if (!platform::statusOf(platform::pathFromText(path), info)) {
    if (errno == ENOENT || errno == ENOTDIR) return "no such file or folder";
    return std::strerror(errno);
  }
  using platform::FileKind;
  if (info.kind == FileKind::Regular || info.kind == FileKind::Folder) return {};
  // Named like the files a folder scan skips; reading one could hang or never end.
  const char* kind = info.kind == FileKind::NamedPipe ? "a named pipe"
                     : info.kind == FileKind::CharacterDevice ? "a character device"
                     : info.kind == FileKind::BlockDevice ? "a block device"
                     : info.kind == FileKind::Socket ? "a socket"
                                                     : "of an unknown kind";
  return std::string("not a regular file (") + kind + "), and not a folder either";
}

CollectedFiles CollectMessageFiles(const std::vector<std::string>& paths) {
  CollectedFiles collected;
  for (const std::string& given : paths) {
    std::error_code ec;
    const fs::path full = platform::fullPath(platform::pathFromText(given));
    const std::string path = platform::pathText(full);
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
