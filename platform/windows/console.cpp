#include "platform/console.h"

#include <io.h>

#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <streambuf>
#include <string>

#include "platform/windows/windows_support.h"

#include <shellapi.h>  // after windows.h, which it needs

namespace platform {

namespace {

HANDLE consoleOf(std::FILE* stream) {
  HANDLE handle = windows::handleOf(_fileno(stream));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// A C++ stream's bytes to a console, as UTF-16 once each character is whole.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(std::FILE* stream) : stream_(stream) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_ += static_cast<char>(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<size_t>(count));
    return count;
  }
  int sync() override {
    // A character split between two writes waits for its last bytes.
    size_t whole = pending_.size();
    for (size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) != 0x80) {
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) whole = pending_.size() - back;
        break;
      }
    }
    writeText(stream_, std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    return 0;
  }

 private:
  std::FILE* stream_;
  std::string pending_;
};

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

void prepareConsole() {
  // Only a console needs it: files and pipes get the UTF-8 bytes as they are. The buffers are
  // never freed: the streams are flushed at exit, after every static object is gone.
  for (std::FILE* stream : {stdout, stderr}) {
    HANDLE console = consoleOf(stream);
    if (!console) continue;
    DWORD mode = 0;
    if (GetConsoleMode(console, &mode)) SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    std::ostream& cppStream = stream == stdout ? std::cout : std::cerr;
    cppStream.flush();
    cppStream.rdbuf(new ConsoleBuffer(stream));
  }
}

std::vector<std::string> programArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {argv + 1, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(windows::utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
