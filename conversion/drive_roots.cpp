#include "conversion/drive_roots.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace conversion {

namespace {

struct Detection {
  std::optional<bool> forced;
  std::vector<std::string> mountRoot{"mnt"};  // components below "/"
};

std::mutex detectionMutex;
Detection& detection() {
  static Detection d;
  return d;
}

bool detectWsl() {
  if (const char* distro = std::getenv("WSL_DISTRO_NAME"); distro && *distro) return true;
  std::ifstream release("/proc/sys/kernel/osrelease");
  std::string text;
  std::getline(release, text);
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text.find("microsoft") != std::string::npos;
}

bool isDriveLetter(std::string_view name) {
  return name.size() == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
}

std::vector<std::string> componentsOf(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

}  // namespace

bool RunningUnderWsl() {
  {
    std::lock_guard lock(detectionMutex);
    if (detection().forced) return *detection().forced;
  }
  static const bool detected = detectWsl();
  return detected;
}

void OverrideWslDetection(std::optional<bool> wsl, std::string mountRoot) {
  std::lock_guard lock(detectionMutex);
  detection().forced = wsl;
  detection().mountRoot = componentsOf(mountRoot);
}

size_t DriveRootComponents(const std::vector<std::string_view>& components) {
  size_t rootSize = 0;
  {
    std::lock_guard lock(detectionMutex);
    const std::vector<std::string>& root = detection().mountRoot;
    rootSize = root.size();
    if (components.size() < rootSize + 1 || !isDriveLetter(components[rootSize])) return 0;
    for (size_t i = 0; i < rootSize; ++i) {
      if (components[i] != root[i]) return 0;
    }
  }
  return RunningUnderWsl() ? rootSize + 1 : 0;
}

}  // namespace conversion
