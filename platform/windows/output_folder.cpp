#include "platform/output_folder.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/file_status.h"
#include "platform/windows/windows_support.h"

namespace platform {

namespace {

// `name` inside the folder open as `folder`, found by the folder's own handle, so that a
// rename of the folder's path does not send the names elsewhere.
std::wstring inFolder(int folder, const std::wstring& name) {
  // Never a name relative to the current folder: with the folder unknown, the call fails.
  const std::wstring where = windows::finalPath(windows::handleOf(folder));
  if (where.empty()) return std::wstring();
  return where + L"\\" + name;
}

std::wstring inFolder(int folder, const std::filesystem::path& name) { return inFolder(folder, name.native()); }

// A file found by a name in the folder lies on the folder's volume, so the file index tells it
// apart. The volume serial is compared too where the handle still knows it: Wine reports 0 for
// a handle whose file was renamed since it was opened.
bool names(const std::wstring& named, int fd) {
  FileStatus mine, there;
  return statusOf(fd, mine) && statusOf(std::filesystem::path(named), there, false) && mine.inode == there.inode &&
         (mine.device == there.device || mine.device == 0);
}

}  // namespace

int openFolder(const std::filesystem::path& folder) {
  const std::wstring name = windows::longPath(folder);
  HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return windows::failWithLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    errno = ENOTDIR;
    return -1;
  }
  windows::rememberName(handle, name);
  const int fd = windows::adopt(handle, _O_RDONLY);
  if (fd < 0) windows::forgetName(handle);
  return fd;
}

bool nameTaken(int folder, const std::filesystem::path& name) {
  // The attributes of a link are its own: a dangling link takes its name too.
  return GetFileAttributesW(inFolder(folder, name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int createNewIn(int folder, const std::filesystem::path& name) {
  // Others may read it meanwhile; renaming it at the end needs FILE_SHARE_DELETE.
  HANDLE handle = CreateFileW(inFolder(folder, name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return windows::failWithLastError();
  return windows::adopt(handle, _O_RDWR);
}

bool namesFile(int folder, const std::filesystem::path& name, int fd) { return names(inFolder(folder, name), fd); }

int renameNoReplace(int folder, const std::filesystem::path& from, const std::filesystem::path& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  if (MoveFileExW(inFolder(folder, from).c_str(), inFolder(folder, to).c_str(), 0)) return 0;
  return windows::errnoFrom(GetLastError());
}

int linkNoReplace(int folder, int fd, const std::filesystem::path& to) {
  const std::wstring self = windows::finalPath(windows::handleOf(fd));
  if (self.empty()) return windows::errnoFrom(GetLastError());
  if (CreateHardLinkW(inFolder(folder, to).c_str(), self.c_str(), nullptr)) return 0;
  return windows::errnoFrom(GetLastError());
}

void removeName(int folder, const std::filesystem::path& name) { DeleteFileW(inFolder(folder, name).c_str()); }

std::string currentPath(int fd) {
  return windows::utf8(windows::withoutLongPrefix(windows::finalPath(windows::handleOf(fd))));
}

// A console stop request runs on a thread of its own, not in a signal handler: allocating is
// safe here.
bool removeIfStillNamed(int folder, int fd, const char* name) {
  const std::wstring named = inFolder(folder, windows::wide(name));
  return names(named, fd) && DeleteFileW(named.c_str()) != 0;
}

}  // namespace platform
