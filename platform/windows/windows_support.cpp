#include "platform/windows/windows_support.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::windows {

int errnoFrom(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_DELETE_PENDING:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_COMMITMENT_LIMIT:
      return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_BAD_FORMAT:
      return ENOEXEC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_FUNCTION:
      return ENOSYS;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    case ERROR_NO_PROC_SLOTS:
    case ERROR_MAX_THRDS_REACHED:
      return EAGAIN;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

int failWithLastError() {
  errno = errnoFrom(GetLastError());
  return -1;
}

std::wstring wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), units);
  return text;
}

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring longPath(const std::filesystem::path& path) {
  const std::wstring given = path.empty() ? std::wstring(L".") : path.native();
  if (given.rfind(L"\\\\?\\", 0) == 0) return given;
  // The full name resolves "." and "..", the current folder and drive, and turns "/" into "\";
  // a \\?\ name is taken literally, so it must be full first.
  std::vector<wchar_t> full(MAX_PATH);
  for (;;) {
    const DWORD units = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (units == 0) return given;
    if (units < full.size()) {
      full.resize(units);
      break;
    }
    full.resize(units + 1);
  }
  std::wstring name(full.begin(), full.end());
  if (name.rfind(L"\\\\.\\", 0) == 0) return name;  // a device, as \\.\NUL
  if (name.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + name.substr(2);
  return L"\\\\?\\" + name;
}

std::wstring withoutLongPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

namespace {

std::mutex namesLock;
std::unordered_map<HANDLE, std::wstring>& openedNames() {
  static std::unordered_map<HANDLE, std::wstring> names;
  return names;
}

std::wstring rememberedName(HANDLE handle) {
  std::lock_guard lock(namesLock);
  const auto found = openedNames().find(handle);
  return found == openedNames().end() ? std::wstring() : found->second;
}

}  // namespace

void rememberName(HANDLE handle, std::wstring name) {
  // As the system gives names back: no separator at the end, but after a drive ("\\?\D:\").
  while (name.size() > 1 && name.back() == L'\\' && name[name.size() - 2] != L':' && name[name.size() - 2] != L'?')
    name.pop_back();
  std::lock_guard lock(namesLock);
  openedNames()[handle] = std::move(name);
}

void forgetName(HANDLE handle) {
  std::lock_guard lock(namesLock);
  openedNames().erase(handle);
}

std::wstring finalPath(HANDLE handle) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD units = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (units == 0) {
      const DWORD error = GetLastError();
      std::wstring remembered = rememberedName(handle);
      if (remembered.empty()) SetLastError(error);
      return remembered;
    }
    if (units < name.size()) {
      name.resize(units);
      return name;
    }
    name.resize(units + 1);
  }
}

int adopt(HANDLE handle, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    const int error = errno;
    CloseHandle(handle);
    errno = error ? error : EMFILE;
  }
  return fd;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace platform::windows
