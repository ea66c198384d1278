#include "cli/mailbox_links.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/file_status.h"
#include "platform/path_text.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// True when `path` is `folder` or lies below it (both canonical).
bool within(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

bool namesUsers(const fs::path& name) {
  std::string text = platform::pathText(name);
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text == "users";
}

class LinkFinder {
 public:
  explicit LinkFinder(const conversion::StoreLayout& layout) : layout_(layout) {
    // The system's own resolution: std::filesystem's takes a Windows share for a folder of
    // the current drive.
    const std::optional<std::string> real = platform::realPath(layout.folder);
    store_ = real ? platform::pathFromText(*real) : layout.folder;
  }

  MailboxLinks find() {
    using Given = conversion::StoreLayout::Given;
    std::error_code ec;
    std::vector<fs::path> domains;
    switch (layout_.given) {
      case Given::StoreRoot:
        for (const fs::path& child : children(layout_.folder)) {
          if (namesUsers(child.filename()) && fs::is_directory(child, ec)) {
            for (const fs::path& domain : children(child)) domains.push_back(domain);
          }
        }
        break;
      case Given::UsersFolder:
        domains = children(layout_.folder);
        break;
      case Given::DomainFolder:
        domains = {layout_.folder};
        break;
    }
    // Domains first: a linked domain is followed whole, rather than refused because a mailbox
    // link elsewhere leads into it.
    std::vector<fs::path> used;
    for (const fs::path& domain : domains) {
      if (domain == layout_.folder || usable(domain)) used.push_back(domain);
    }
    for (const fs::path& domain : used) {
      for (const fs::path& mailbox : children(domain)) usable(mailbox);
    }
    return std::move(links_);
  }

 private:
  static std::vector<fs::path> children(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
      found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // Whether `entry` is a folder to look into: a folder, or a link that is followed.
  bool usable(const fs::path& entry) {
    std::error_code ec;
    if (!fs::is_symlink(entry, ec)) return fs::is_directory(entry, ec);
    const std::optional<std::string> real = platform::realPath(entry);
    const int error = errno;
    const fs::path target = real ? platform::pathFromText(*real) : fs::path();
    std::string why;
    if (!real) {
      why = error == ELOOP ? "a link that loops"
                           : "a link to a folder that cannot be reached (" + std::string(std::strerror(error)) + ")";
    } else if (!fs::is_directory(target, ec)) {
      return false;  // a link to a file: the scan itself reports it if it is a message file
    } else if (within(store_, target)) {
      why = "a link back to " + target.string() + ", which holds the link itself: following it would never end";
    } else if (within(target, store_)) {
      why = "a link to " + target.string() + ", which lies inside the store already";
    } else {
      for (const auto& [earlier, link] : targets_) {
        if (within(target, earlier) || within(earlier, target)) {
          why = "a link into a folder the link " + link + " leads to already";
          break;
        }
      }
    }
    if (!why.empty()) {
      links_.refused.push_back({entry.string() + "/", "not converted: " + why});
      return false;
    }
    targets_.emplace_back(target, entry.string());
    links_.followed.push_back(entry.string());
    return true;
  }

  const conversion::StoreLayout& layout_;
  fs::path store_;
  std::vector<std::pair<fs::path, std::string>> targets_;  // of the links followed, and the link
  MailboxLinks links_;
};

}  // namespace

MailboxLinks FindMailboxLinks(const conversion::StoreLayout& layout) { return LinkFinder(layout).find(); }

}  // namespace cli
