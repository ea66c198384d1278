// Turns one RFC 822 message file into a message for the store.
#pragma once

#include <filesystem>
#include <string>

#include "pst/messaging/message_content.h"

namespace mail {

struct ImportResult {
  bool ok = false;
  std::string reason;  // why the file is not importable, when !ok (for the user: says what to do)
  pst::messaging::MessageContent message;
};

// Reads and converts `file`. Never throws for bad content: a file that is empty, unreadable or
// not an Internet message comes back with ok == false and a reason.
ImportResult importMessageFile(const std::filesystem::path& file);

// The same for a message already in memory; `fallbackTime` (FILETIME) dates mail without any
// usable Date or Received header.
ImportResult importMessageBytes(std::string_view bytes, uint64_t fallbackTime);

}  // namespace mail
