#include "platform/system_facts.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

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

unsigned usableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace platform
