#include "platform/file_status.h"

#include <cerrno>

#include "platform/windows/windows_support.h"

namespace platform {

namespace {

// 100-nanosecond ticks from 1601 to 1970.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;

bool statusOfHandle(HANDLE handle, FileStatus& status) {
  status = FileStatus{};
  switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE:
      status.kind = FileKind::NamedPipe;
      return true;
    case FILE_TYPE_CHAR:
      status.kind = FileKind::CharacterDevice;
      return true;
    case FILE_TYPE_DISK:
      break;
    default:
      if (GetLastError() != NO_ERROR) return windows::failWithLastError() == 0;
      status.kind = FileKind::Other;
      return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return windows::failWithLastError() == 0;
  status.kind = FileKind::Regular;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) status.kind = FileKind::Folder;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)) {
      status.kind = FileKind::Link;
    }
  }
  status.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  const uint64_t ticks = (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  const int64_t sinceUnix = static_cast<int64_t>(ticks) - static_cast<int64_t>(kUnixEpochTicks);
  int64_t seconds = sinceUnix / 10000000;
  int64_t rest = sinceUnix % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  status.modifiedSeconds = seconds;
  status.modifiedNanoseconds = static_cast<uint32_t>(rest * 100);
  status.links = info.nNumberOfLinks;
  // A file deleted while open keeps its name until its last handle closes: it counts as gone.
  FILE_STANDARD_INFO standard{};
  if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) && standard.DeletePending)
    status.links = 0;
  status.device = info.dwVolumeSerialNumber;
  status.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

// Opens to look only: no read right needed, folders included, never blocking the server.
HANDLE openToExamine(const std::filesystem::path& file, bool followLinks) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return CreateFileW(windows::longPath(file).c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags, nullptr);
}

}  // namespace

bool statusOf(const std::filesystem::path& file, FileStatus& status, bool followLinks) {
  HANDLE handle = openToExamine(file, followLinks);
  if (handle == INVALID_HANDLE_VALUE) return windows::failWithLastError() == 0;
  const bool known = statusOfHandle(handle, status);
  const int error = errno;
  CloseHandle(handle);
  errno = error;
  return known;
}

bool statusOf(int fd, FileStatus& status) {
  HANDLE handle = windows::handleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  return statusOfHandle(handle, status);
}

std::optional<std::string> realPath(const std::filesystem::path& path) {
  HANDLE handle = openToExamine(path, true);
  if (handle == INVALID_HANDLE_VALUE) {
    windows::failWithLastError();
    return std::nullopt;
  }
  const std::wstring name = windows::finalPath(handle);
  if (name.empty()) windows::failWithLastError();
  CloseHandle(handle);
  if (name.empty()) return std::nullopt;
  return windows::utf8(windows::withoutLongPrefix(name));
}

std::filesystem::path fullPath(const std::filesystem::path& path) {
  return std::filesystem::path(windows::withoutLongPrefix(windows::longPath(path)));
}

}  // namespace platform
