#include "platform/system_facts.h"

#include <cerrno>
#include <string>

#include "platform/windows/windows_support.h"

namespace platform {

bool runsUnderWsl() { return false; }  // the drives are D:\ themselves

std::filesystem::path runningProgram(std::error_code& error) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD units = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (units == 0) {
      error = std::error_code(windows::errnoFrom(GetLastError()), std::generic_category());
      return {};
    }
    if (units < name.size()) {
      name.resize(units);
      error.clear();
      return std::filesystem::path(windows::withoutLongPrefix(name));
    }
    name.resize(name.size() * 2);
  }
}

int runnableProblem(const std::filesystem::path& program) {
  const DWORD attributes = GetFileAttributesW(windows::longPath(program).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return windows::errnoFrom(GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EACCES;
  return 0;
}

unsigned usableCores() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

}  // namespace platform
