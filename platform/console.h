// Text to a terminal or console.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when `stream` goes to a terminal (Windows: a console) rather than a file or pipe.
bool isTerminal(std::FILE* stream);
// Writes UTF-8 `text` to `stream`. On a Windows console it is written as UTF-16, so that
// names show right whatever the console's code page; elsewhere the bytes go as they are.
void writeText(std::FILE* stream, std::string_view text);
// Readies standard output and error, once, first in main: what std::cout and std::cerr are
// given goes through writeText, and a Windows console takes the escape sequences a terminal
// does (the progress bar's "erase to the end of the line").
void prepareConsole();
// The program's arguments after its name, as UTF-8. Windows passes main() the arguments in
// the system's code page, which cannot hold every name: they are taken from the wide command line.
std::vector<std::string> programArguments(int argc, char** argv);

}  // namespace platform
