// --keep-status: each message's state from the IMAP.MRK of its folder, read once per folder.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "conversion/message_status.h"
#include "conversion/server_index.h"

namespace cli {

class ServerStatus {
 public:
  // The state of the message in `file`: its record's flags; unread when its folder's index has
  // no record of it or the folder has no index (the server treats such mail as new); read, as
  // without --keep-status, when the index is damaged (with one warning per index).
  conversion::MessageStatus of(const std::string& file);
  // The warnings so far, each once.
  std::vector<std::string> takeWarnings();

 private:
  std::filesystem::path folder_;  // whose index is held
  conversion::ServerIndex index_;
  bool held_ = false;
  std::vector<std::string> warnings_;
  std::set<std::filesystem::path> warned_;  // indexes already warned of
};

}  // namespace cli
