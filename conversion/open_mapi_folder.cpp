#include "conversion/open_mapi_folder.h"

#include <exception>

namespace conversion {

std::optional<Folder> OpenMAPIFolder(const Session& session, std::string path, bool* complete) {
  bool allFound = true;
  bool anyComponent = false;
  std::optional<Folder> current;
  if (!session.loggedOn()) {
    if (complete) *complete = false;
    return std::nullopt;
  }
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  while (!path.empty()) {
    std::string component;
    const size_t slash = path.find('\\');
    if (slash != std::string::npos) {
      component = path.substr(0, slash);
      path.erase(0, slash + 1);
    } else {
      component = std::move(path);
      path.clear();
    }
    anyComponent = true;
    try {
      std::optional<Folder> next =
          current ? current->Folders().Find(component) : session.topLevelFolder(component);
      if (next) {
        current = std::move(next);
      } else {
        allFound = false;
      }
    } catch (const std::exception&) {
      allFound = false;
    }
  }
  if (complete) *complete = allFound && anyComponent && current.has_value();
  return current;
}

}  // namespace conversion
