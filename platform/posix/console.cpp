#include "platform/console.h"

#include <unistd.h>

namespace platform {

bool isTerminal(std::FILE* stream) { return ::isatty(fileno(stream)) == 1; }

void writeText(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::vector<std::string> programArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void prepareConsole() {}  // a terminal takes the UTF-8 bytes and the escape sequences as they are

}  // namespace platform
