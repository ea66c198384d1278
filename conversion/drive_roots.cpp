#include "conversion/drive_roots.h"

#include <atomic>
#include <mutex>

#include "platform/system_facts.h"

namespace conversion {

namespace {

// Set by tests: -1 to detect, 0 or 1 for the answer. Read for every path, so without a lock.
std::atomic<int> forcedWsl{-1};

std::mutex mountRootMutex;
std::vector<std::string>& mountRoot() {  // components below "/"
  static std::vector<std::string> root{"mnt"};
  return root;
}

bool detectWsl() { return platform::runsUnderWsl(); }

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
  const int forced = forcedWsl.load(std::memory_order_relaxed);
  if (forced >= 0) return forced == 1;
  static const bool detected = detectWsl();
  return detected;
}

void OverrideWslDetection(std::optional<bool> wsl, std::string root) {
  {
    std::lock_guard lock(mountRootMutex);
    mountRoot() = componentsOf(root);
  }
  forcedWsl.store(wsl ? (*wsl ? 1 : 0) : -1);
}

size_t DriveRootComponents(const std::vector<std::string_view>& components) {
  if (!RunningUnderWsl()) return 0;  // on plain Linux "/" is the only drive root
  std::lock_guard lock(mountRootMutex);
  const std::vector<std::string>& root = mountRoot();
  if (components.size() < root.size() + 1 || !isDriveLetter(components[root.size()])) return 0;
  for (size_t i = 0; i < root.size(); ++i) {
    if (components[i] != root[i]) return 0;
  }
  return root.size() + 1;
}

size_t WindowsRootLength(std::string_view path) {
  auto endsRoot = [&path](size_t length) { return length <= path.size() && (length == path.size() || path[length] == '/'); };
  size_t start = 0;
  bool share = false;
  if (path.starts_with("//?/")) {
    start = 4;
    if (path.substr(start, 4) == "UNC/") start += 4, share = true;
  } else if (path.starts_with("//")) {
    start = 2;
    share = true;
  }
  if (!share) {
    const size_t length = start + 2;
    return path.size() >= length && isDriveLetter(path.substr(start, 1)) && path[start + 1] == ':' && endsRoot(length)
               ? length
               : 0;
  }
  // A share: a server name and a share name, neither empty.
  const size_t serverEnd = path.find('/', start);
  if (serverEnd == std::string_view::npos || serverEnd == start) return 0;
  size_t shareEnd = path.find('/', serverEnd + 1);
  if (shareEnd == std::string_view::npos) shareEnd = path.size();
  return shareEnd > serverEnd + 1 ? shareEnd : 0;
}

}  // namespace conversion
