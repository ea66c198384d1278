// From the message list to the folders of the new store: each entry's folder path, and the
// sorted list of every folder to create, parents first.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/sort_helpers.h"

namespace conversion {

// Separator of folder paths inside the store.
inline constexpr char kFolderSeparator = '\\';
// Stands for a backslash inside a source folder name, which would otherwise split the name
// into two folder levels: FULLWIDTH REVERSE SOLIDUS looks alike and keeps the folder distinct.
inline constexpr std::string_view kBackslashStandIn = "\xEF\xBC\xBC";

// The path of the entry's folder below its drive root, components joined by "\":
// "/srv/mail/Users/bob/Inbox/1.msg" gives "srv\mail\Users\bob\Inbox", and under WSL
// "/mnt/c/MDaemon/Users/bob/1.msg" gives "MDaemon\Users\bob" (conversion/drive_roots.h).
// Spaces around the entry are ignored; repeated "/" and "." count as one level, ".." goes one
// level up. None, with `reason` set, for an empty entry, a relative path, or a file directly
// in a drive root.
std::optional<std::string> FolderPathOf(std::string_view entry, std::string* reason = nullptr);

// Every folder path in `paths` (empty ones ignored) together with all its ancestors, each
// once, in ascending binary order: every folder after its parent. `yield` runs between the
// sorting and cleaning steps.
StringList BuildFolderList(const std::vector<std::string>& paths, const std::function<void()>& yield);

// The components of a folder path, split at every "\".
std::vector<std::string> SplitFolderPath(std::string_view folderPath);

}  // namespace conversion
