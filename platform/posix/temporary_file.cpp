#include "platform/temporary_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace platform {

std::FILE* openUnnamedFile(const std::filesystem::path& folder) {
  std::string name = (folder.empty() ? std::filesystem::path(".") : folder) / ".vantorel-rows-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return nullptr;
  ::unlink(name.c_str());
  std::FILE* file = ::fdopen(fd, "w+b");
  if (!file) ::close(fd);
  return file;
}

}  // namespace platform
