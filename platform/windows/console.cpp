#include "platform/console.h"

#include <io.h>

#include <algorithm>
#include <string>

#include "platform/windows/windows_support.h"

namespace platform {

namespace {

HANDLE consoleOf(std::FILE* stream) {
  HANDLE handle = windows::handleOf(_fileno(stream));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

bool isTerminal(std::FILE* stream) { return consoleOf(stream) != nullptr; }

void writeText(std::FILE* stream, std::string_view text) {
  HANDLE console = consoleOf(stream);
  if (!console) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream);  // what printf wrote before comes first
  const std::wstring units = windows::wide(text);
  size_t at = 0;
  while (at < units.size()) {
    DWORD written = 0;
    const DWORD count = static_cast<DWORD>(std::min<size_t>(units.size() - at, 16384));
    if (!WriteConsoleW(console, units.data() + at, count, &written, nullptr) || written == 0) return;
    at += written;
  }
}

}  // namespace platform
