#include "platform/temporary_file.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/windows/windows_support.h"

namespace platform {

std::FILE* openUnnamedFile(const std::filesystem::path& folder) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = L".vantorel-rows-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter.fetch_add(1)) + L"-" + std::to_wstring(GetTickCount64());
    // Windows cannot unlink an open file: it is deleted as its only handle closes, however the
    // program ends, and nobody else may open it meanwhile.
    HANDLE handle = CreateFileW(windows::longPath(where / name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      windows::failWithLastError();
      return nullptr;
    }
    const int fd = windows::adopt(handle, _O_RDWR);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "w+b");
    if (!file) _close(fd);
    return file;
  }
  errno = EEXIST;
  return nullptr;
}

}  // namespace platform
