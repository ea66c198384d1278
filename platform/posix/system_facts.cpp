#include "platform/system_facts.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

namespace platform {

bool runsUnderWsl() {
  if (const char* distro = std::getenv("WSL_DISTRO_NAME"); distro && *distro) return true;
  std::ifstream release("/proc/sys/kernel/osrelease");
  std::string text;
  std::getline(release, text);
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text.find("microsoft") != std::string::npos;
}

std::filesystem::path runningProgram(std::error_code& error) {
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

int runnableProblem(const std::filesystem::path& program) {
  if (access(program.c_str(), X_OK) == 0) return 0;
  const int error = errno;
  return error ? error : EACCES;
}

}  // namespace platform
