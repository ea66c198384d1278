#include "conversion/folder_path.h"

#include <algorithm>

#include "conversion/drive_roots.h"
#include "conversion/folder_name_text.h"

namespace conversion {

namespace {

std::string_view trimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string replaceBackslashes(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    if (c == '\\') {
      out += kBackslashStandIn;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> FolderPathOf(std::string_view entry, std::string* reason) {
  auto fail = [reason](const char* why) -> std::optional<std::string> {
    if (reason) *reason = why;
    return std::nullopt;
  };
  std::string_view path = trimSpaces(entry);
  if (path.empty()) return fail("empty list entry");
#ifdef _WIN32
  // Paths as Windows users write them, "D:\x", "D:/x" or "\\server\share\x", either slash
  // separating: the tree starts below the drive or share, as it does below a WSL drive root.
  std::string slashed(path);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const size_t windowsRoot = WindowsRootLength(slashed);
  if (windowsRoot == 0) return fail("not a full path: it must start with a drive (D:\\) or a share (\\\\server\\share\\)");
  slashed.erase(0, windowsRoot);
  if (slashed.empty()) slashed = "/";
  path = slashed;
  constexpr bool kDriveRoots = true;
#else
  constexpr bool kDriveRoots = false;
#endif
  if (path.front() != '/') return fail("not a full path: it must start with /");
  const std::string folderPart = GetFolderPart(path, '/');  // ends in "/", at least "/"

  std::vector<std::string_view> components;
  size_t start = 1;
  while (start < folderPart.size()) {
    const size_t slash = folderPart.find('/', start);
    const std::string_view component(folderPart.data() + start, slash - start);
    start = slash + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.push_back(component);
  }
  const size_t root = DriveRootComponents(components);
  if (components.size() == root) {
    return fail(root == 0 && !kDriveRoots ? "the file lies directly in /, so it has no folder to mirror"
                          : "the file lies directly in a drive root, so it has no folder to mirror");
  }
  components.erase(components.begin(), components.begin() + static_cast<std::ptrdiff_t>(root));

  std::string folderPath;
  for (const auto& component : components) {
    if (!folderPath.empty()) folderPath += kFolderSeparator;
    folderPath += replaceBackslashes(FolderNameAsUtf8(component));
  }
  return folderPath;
}

std::vector<std::string> SplitFolderPath(std::string_view folderPath) {
  std::vector<std::string> components;
  size_t start = 0;
  while (true) {
    const size_t slash = folderPath.find(kFolderSeparator, start);
    components.emplace_back(folderPath.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return components;
    start = slash + 1;
  }
}

StringList BuildFolderList(const std::vector<std::string>& paths, const std::function<void()>& yield) {
  // One spare empty entry past the rows, as the window's list has always had.
  StringList list(paths.begin(), paths.end());
  list.emplace_back();
  const auto last = static_cast<int32_t>(list.size()) - 2;
  QuickSortStrings(list, 0, last);
  yield();
  RemoveDuplicates(list);

  const size_t distinct = list.size();
  for (size_t i = 0; i < distinct; ++i) {
    const std::string path = list[i];
    size_t end = path.find(kFolderSeparator);
    while (end != std::string::npos) {
      list.push_back(path.substr(0, end));
      end = path.find(kFolderSeparator, end + 1);
    }
    list.push_back(path);
  }
  yield();
  if (!list.empty()) QuickSortStrings(list, 0, static_cast<int32_t>(list.size()) - 1);
  yield();
  RemoveDuplicates(list);
  return list;
}

}  // namespace conversion
