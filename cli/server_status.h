// --keep-status: each message's state from the IMAP.MRK of its folder, read once per folder.
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "conversion/message_status.h"
#include "conversion/server_index.h"

namespace cli {

class ServerStatus {
 public:
  using IndexReader = std::function<conversion::ServerIndex(const std::filesystem::path& folder)>;
  // `stores`: the paths being converted; an index that is a link is followed only into them.
  explicit ServerStatus(std::vector<std::filesystem::path> stores = {});
  // Reads the indexes with `reader` instead of from the disk, as a test does.
  explicit ServerStatus(IndexReader reader);

  // The state of the message in `file`: its record's flags; unread when its folder's index has
  // no record of it or the folder has no index (the server treats such mail as new); read, as
  // without --keep-status, when the index is damaged or cannot be read (with one warning per
  // index).
  conversion::MessageStatus of(const std::string& file);
  // The warnings so far, each once.
  std::vector<std::string> takeWarnings();

 private:
  IndexReader reader_;
  std::filesystem::path folder_;  // whose index is held
  conversion::ServerIndex index_;
  bool held_ = false;
  std::vector<std::string> warnings_;
  std::set<std::filesystem::path> warned_;  // indexes already warned of
};

}  // namespace cli
