#include "cli/server_status.h"

#include <utility>

namespace cli {

conversion::MessageStatus ServerStatus::of(const std::string& file) {
  const std::filesystem::path path(file);
  // Files come folder by folder: the index of the last folder is all there is to keep.
  if (!held_ || path.parent_path() != folder_) {
    folder_ = path.parent_path();
    index_ = conversion::ReadServerIndex(folder_);
    held_ = true;
    if (index_.kind == conversion::ServerIndex::Kind::Unusable && warned_.insert(index_.file).second) {
      warnings_.push_back(index_.file.string() + " cannot be used: " + index_.problem + "; the messages of " +
                          folder_.string() + " are stored as read");
    }
  }
  conversion::MessageStatus unread;
  unread.read = false;
  switch (index_.kind) {
    case conversion::ServerIndex::Kind::Missing:
      return unread;
    case conversion::ServerIndex::Kind::Unusable:
      return {};
    case conversion::ServerIndex::Kind::Read:
      break;
  }
  const std::optional<uint8_t> flags = index_.find(path.filename().native());
  return flags ? conversion::StatusFromServerFlags(*flags) : unread;
}

std::vector<std::string> ServerStatus::takeWarnings() { return std::exchange(warnings_, {}); }

}  // namespace cli
