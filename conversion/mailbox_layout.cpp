#include "conversion/mailbox_layout.h"

#include <vector>

#include "conversion/folder_name_text.h"
#include "conversion/folder_path.h"
#include "platform/path_text.h"
#include "platform/file_status.h"

namespace conversion {

namespace {

namespace fs = std::filesystem;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kUsers = "Users";
constexpr std::string_view kImapSuffix = ".IMAP";
constexpr const char* kMailboxOwnFolder = "Inbox";

bool hasUsersChild(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (equalsIgnoringCase(platform::pathText(it->path().filename()), kUsers) && it->is_directory(ec)) return true;
  }
  return false;
}

fs::path withoutTrailingSeparator(fs::path path) {
  // A trailing separator ("/a/b/", or D:\a\b\ on Windows) leaves an empty last name; a root stays.
  path = platform::fullPath(path);
  while (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
  return path;
}

// A backslash would split the name in two inside the store, where it separates folders.
std::string oneName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == kFolderSeparator) {
      out += kBackslashStandIn;
    } else {
      out += c;
    }
  }
  return out;
}

std::string joinFolders(const std::vector<std::string>& components, size_t from) {
  std::string path;
  for (size_t i = from; i < components.size(); ++i) {
    if (!path.empty()) path += kFolderSeparator;
    path += oneName(WithoutImapSuffix(components[i]));
  }
  return path;
}

std::string joinRelative(const std::vector<std::string>& components, size_t count) {
  std::string path;
  for (size_t i = 0; i < count && i < components.size(); ++i) path += (i ? "/" : "") + components[i];
  return path;
}

}  // namespace

std::string WithoutImapSuffix(std::string_view name) {
  if (name.size() > kImapSuffix.size() &&
      equalsIgnoringCase(name.substr(name.size() - kImapSuffix.size()), kImapSuffix)) {
    name.remove_suffix(kImapSuffix.size());
  }
  return std::string(name);
}

std::optional<StoreLayout> DetectStoreLayout(const fs::path& folder, std::string* why) {
  std::error_code ec;
  const fs::path absolute = withoutTrailingSeparator(folder);
  if (!fs::is_directory(absolute, ec)) {
    if (why) *why = folder.string() + " is not a folder";
    return std::nullopt;
  }
  StoreLayout layout;
  layout.folder = absolute;
  if (hasUsersChild(absolute)) {
    layout.given = StoreLayout::Given::StoreRoot;
  } else if (equalsIgnoringCase(platform::pathText(absolute.filename()), kUsers)) {
    layout.given = StoreLayout::Given::UsersFolder;
  } else if (equalsIgnoringCase(platform::pathText(absolute.parent_path().filename()), kUsers)) {
    layout.given = StoreLayout::Given::DomainFolder;
  } else {
    if (why) {
      *why = folder.string() +
             " is not a mail server's store: give the folder that holds Users, the Users folder, or a domain "
             "folder inside it";
    }
    return std::nullopt;
  }
  return layout;
}

std::optional<MailboxPlace> PlaceOf(const StoreLayout& layout, const fs::path& file) {
  const fs::path relative = platform::fullPath(file.parent_path()).lexically_relative(layout.folder);
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  std::vector<std::string> folders;  // from the layout's folder down to the file's, as shown
  std::vector<std::string> raw;      // the same as they are on disk: two folders whose names only
                                     // read alike (Latin-1 and UTF-8) stay two mailboxes
  for (const auto& component : relative) {
    if (component == "." || component.empty()) continue;
    raw.push_back(platform::pathText(component));
    folders.push_back(FolderNameAsUtf8(raw.back()));
  }

  // How many components lead to the domain folders: none when a domain folder was given.
  std::optional<size_t> domainDepth;
  switch (layout.given) {
    case StoreLayout::Given::StoreRoot:
      if (!folders.empty() && equalsIgnoringCase(folders[0], kUsers)) domainDepth = 1;
      break;
    case StoreLayout::Given::UsersFolder:
      domainDepth = 0;
      break;
    case StoreLayout::Given::DomainFolder:
      break;
  }
  const size_t mailboxDepth = domainDepth ? *domainDepth + 1 : 0;  // index of the mailbox's own folder
  const std::string domain = domainDepth ? (folders.size() > *domainDepth ? folders[*domainDepth] : std::string())
                                         : FolderNameAsUtf8(platform::pathText(layout.folder.filename()));
  if (layout.given == StoreLayout::Given::DomainFolder || domainDepth) {
    if (folders.size() > mailboxDepth) {
      MailboxPlace place;
      place.store = oneName(folders[mailboxDepth] + "@" + domain);
      place.isMailbox = true;
      place.folder = joinRelative(raw, mailboxDepth + 1);
      place.folderPath = folders.size() == mailboxDepth + 1 ? std::string(kMailboxOwnFolder)
                                                            : joinFolders(folders, mailboxDepth + 1);
      return place;
    }
  }
  // Outside every mailbox: a PST named after the top folder the file lies in.
  MailboxPlace place;
  place.store = oneName(folders.empty() ? FolderNameAsUtf8(platform::pathText(layout.folder.filename())) : folders[0]);
  place.folderPath = folders.size() <= 1 ? place.store : joinFolders(folders, 1);
  place.folder = joinRelative(raw, 1);
  return place;
}

}  // namespace conversion
