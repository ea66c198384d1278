// What a file is, looked at by name or by descriptor (see files.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

enum class FileKind { Regular, Folder, Link, NamedPipe, CharacterDevice, BlockDevice, Socket, Other };

struct FileStatus {
  FileKind kind = FileKind::Other;
  uint64_t size = 0;
  int64_t modifiedSeconds = 0;  // since 1970, UTC
  uint32_t modifiedNanoseconds = 0;
  uint64_t links = 0;  // names the file has; 0 once it was deleted while open
  uint64_t device = 0, inode = 0;  // the file's identity (Windows: volume serial and file index)
};

// False with errno set when the file cannot be examined. `followLinks` false looks at a link
// itself.
bool statusOf(const std::filesystem::path& file, FileStatus& status, bool followLinks = true);
bool statusOf(int fd, FileStatus& status);

inline bool sameFile(const FileStatus& a, const FileStatus& b) { return a.device == b.device && a.inode == b.inode; }

// The absolute name, "." and ".." resolved by the text alone, links kept; `path` itself when the
// current folder is unknown. On Windows a share (\\server\share\x) keeps its two leading
// backslashes, which std::filesystem's own absolute() and lexically_normal() merge there.
std::filesystem::path fullPath(const std::filesystem::path& path);

// The absolute name with every link resolved; nothing (errno set) when a part is missing.
std::optional<std::string> realPath(const std::filesystem::path& path);

}  // namespace platform
