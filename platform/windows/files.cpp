#include "platform/files.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/windows/windows_support.h"

namespace platform {

using windows::adopt;
using windows::failWithLastError;
using windows::handleOf;

namespace {

// The mail server may be running: it may go on reading, writing, renaming or deleting a file
// while it is read here.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Largest single transfer; ReadFile and WriteFile count in 32 bits.
DWORD chunk(size_t size) { return static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30)); }

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

}  // namespace

int openForReading(const std::filesystem::path& file, unsigned how) {
  const std::wstring name = windows::longPath(file);
  // Opening never waits on Windows, so kNoWait needs nothing; a link is opened itself with
  // FILE_FLAG_OPEN_REPARSE_POINT.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | ((how & kNoFollow) ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (how & kKeepAccessTime) {
    // Setting the access time to -1 on this handle keeps the reads from changing it; it needs
    // the right to write attributes, which only some readers have.
    handle = CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags,
                         nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      FILETIME keep;
      keep.dwLowDateTime = keep.dwHighDateTime = 0xFFFFFFFF;
      SetFileTime(handle, nullptr, &keep, nullptr);
    } else if (GetLastError() != ERROR_ACCESS_DENIED) {
      return failWithLastError();
    }
  }
  if (handle == INVALID_HANDLE_VALUE) {
    handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
  }
  return adopt(handle, _O_RDONLY);
}

int createNew(const std::filesystem::path& file) {
  // Others may read it meanwhile; renaming it at the end needs FILE_SHARE_DELETE.
  HANDLE handle = CreateFileW(windows::longPath(file).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
  return adopt(handle, _O_RDWR);
}

long long readSome(int fd, void* into, size_t size) {
  DWORD done = 0;
  if (ReadFile(handleOf(fd), into, chunk(size), &done, nullptr)) return done;
  const DWORD error = GetLastError();
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;  // the writer is gone: the end
  errno = windows::errnoFrom(error);
  return -1;
}

long long writeSome(int fd, const void* from, size_t size) {
  DWORD done = 0;
  if (!WriteFile(handleOf(fd), from, chunk(size), &done, nullptr)) return failWithLastError();
  return done;
}

long long readAt(int fd, void* into, size_t size, uint64_t offset) {
  OVERLAPPED position = at(offset);
  DWORD done = 0;
  if (ReadFile(handleOf(fd), into, chunk(size), &done, &position)) return done;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  return failWithLastError();
}

long long writeAt(int fd, const void* from, size_t size, uint64_t offset) {
  OVERLAPPED position = at(offset);
  DWORD done = 0;
  if (!WriteFile(handleOf(fd), from, chunk(size), &done, &position)) return failWithLastError();
  return done;
}

int resize(int fd, uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end)) return failWithLastError();
  return 0;
}

int flushToDisk(int fd) { return FlushFileBuffers(handleOf(fd)) ? 0 : failWithLastError(); }

int closeFile(int fd) {
  windows::forgetName(handleOf(fd));
  return _close(fd);
}

int duplicate(int fd) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handleOf(fd), GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return failWithLastError();
  return adopt(copy, _O_RDWR);
}

std::FILE* openStream(const std::filesystem::path& file, const char* mode) {
  return _wfopen(windows::longPath(file).c_str(), windows::wide(mode).c_str());
}

}  // namespace platform
