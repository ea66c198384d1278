// A scratch file that has no name: nobody else can open it, and it goes when it is closed,
// however the program ends.
#pragma once

#include <cstdio>
#include <filesystem>

namespace platform {

// A file for reading and writing in `folder` (empty: the current folder); nullptr with errno
// set when none can be made there.
std::FILE* openUnnamedFile(const std::filesystem::path& folder);

}  // namespace platform
