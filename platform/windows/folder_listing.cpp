#include "platform/folder_listing.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/windows/windows_support.h"

namespace platform {

namespace {

// The kind the listing gives: a symbolic link or junction is a link, whatever it points at.
FileKind kindOf(const WIN32_FIND_DATAW& found) {
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT))
    return FileKind::Link;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Folder;
  return FileKind::Regular;
}

std::wstring inFolder(int folder, const std::string& name) {
  // Never a name below the drive's root: with the folder unknown, the call fails.
  const std::wstring where = windows::finalPath(windows::handleOf(folder));
  return where.empty() ? std::wstring() : where + L"\\" + windows::wide(name);
}

}  // namespace

FolderReader::~FolderReader() {
  if (listing_) FindClose(static_cast<HANDLE>(listing_));
  if (fd_ >= 0) {
    windows::forgetName(windows::handleOf(fd_));
    _close(fd_);
  }
}

bool FolderReader::open(const std::string& folder, bool followLink) {
  const std::wstring name = windows::longPath(std::filesystem::path(windows::wide(folder)));
  HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (handle == INVALID_HANDLE_VALUE) return windows::failWithLastError() == 0;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (!followLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    CloseHandle(handle);
    errno = !followLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ELOOP : ENOTDIR;
    return false;
  }
  windows::rememberName(handle, name);
  fd_ = windows::adopt(handle, _O_RDONLY);
  if (fd_ < 0) {
    windows::forgetName(handle);
    return false;
  }
  WIN32_FIND_DATAW found{};
  const std::wstring where = windows::finalPath(windows::handleOf(fd_));
  if (where.empty()) return windows::failWithLastError() == 0;
  HANDLE search = FindFirstFileExW((where + L"\\*").c_str(), FindExInfoBasic,
                                   &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {  // not even "." : an empty root
      listing_ = nullptr;
      return true;
    }
    errno = windows::errnoFrom(error);
    return false;
  }
  listing_ = search;
  waiting_ = FolderEntry{windows::utf8(found.cFileName), kindOf(found)};
  return true;
}

bool FolderReader::next(FolderEntry& entry) {
  for (;;) {
    errno = 0;
    if (!listing_) return false;
    if (waiting_) {
      entry = std::move(*waiting_);
      waiting_.reset();
    } else {
      WIN32_FIND_DATAW found{};
      if (!FindNextFileW(static_cast<HANDLE>(listing_), &found)) {
        const DWORD error = GetLastError();
        errno = error == ERROR_NO_MORE_FILES ? 0 : windows::errnoFrom(error);
        return false;
      }
      entry.name = windows::utf8(found.cFileName);
      entry.kind = kindOf(found);
    }
    if (entry.name == "." || entry.name == "..") continue;
    return true;
  }
}

bool statusIn(int folder, const std::string& name, FileStatus& status, bool followLinks) {
  return statusOf(std::filesystem::path(inFolder(folder, name)), status, followLinks);
}

std::string linkTargetIn(int folder, const std::string& name) {
  std::error_code unreadable;
  const std::filesystem::path target = std::filesystem::read_symlink(std::filesystem::path(inFolder(folder, name)), unreadable);
  return unreadable ? std::string() : windows::utf8(target.native());
}

}  // namespace platform
