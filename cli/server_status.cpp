#include "cli/server_status.h"

#include <exception>
#include <utility>

#include "platform/path_text.h"

namespace cli {

ServerStatus::ServerStatus(std::vector<std::filesystem::path> stores)
    : reader_([stores = std::move(stores)](const std::filesystem::path& folder) {
        return conversion::ReadServerIndex(folder, stores);
      }) {}

ServerStatus::ServerStatus(IndexReader reader) : reader_(std::move(reader)) {}

conversion::MessageStatus ServerStatus::of(const std::string& file) {
  // The folder scan joins names with "/"; Windows' own separator is the backslash.
  const std::filesystem::path path = platform::pathFromText(file).make_preferred();
  // Files come folder by folder: the index of the last folder is all there is to keep.
  if (!held_ || path.parent_path() != folder_) {
    // Until the new folder's index is in place no other folder's records may answer for it.
    held_ = false;
    const std::filesystem::path folder = path.parent_path();
    conversion::ServerIndex index;
    try {
      index = reader_(folder);
    } catch (const std::exception& e) {
      index = conversion::ServerIndex{};
      index.kind = conversion::ServerIndex::Kind::Unusable;
      index.file = folder / conversion::kServerIndexName;
      index.problem = std::string("it could not be read (") + e.what() + ")";
    }
    folder_ = folder;
    index_ = std::move(index);
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
  const std::optional<uint8_t> flags = index_.find(platform::pathText(path.filename()));
  return flags ? conversion::StatusFromServerFlags(*flags) : unread;
}

std::vector<std::string> ServerStatus::takeWarnings() { return std::exchange(warnings_, {}); }

}  // namespace cli
