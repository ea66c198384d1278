// Turns one RFC 822 message file into a message for the store.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "mail/sha256.h"
#include "pst/messaging/message_content.h"

namespace mail {

// The largest message file that is read, in bytes: 2 GiB - 1. A PST keeps each message's size
// in a signed 32-bit property, so no stored message reaches 2 GiB. A file of that size or more
// could only fit if most of it were base64 (stored decoded, in 3/4 of the space), and would
// need several times its size in memory to convert; it is refused before it is read. The
// store refuses smaller ones whose converted size does not fit.
constexpr uint64_t kMaxMessageFileBytes = 0x7FFFFFFF;

struct ImportResult {
  bool ok = false;
  std::string reason;  // why the file is not importable, when !ok (for the user: says what to do)
  pst::messaging::MessageContent message;
  // Of the bytes read, when the reader reckoned it (for the ledger, which records what it converted).
  std::optional<Sha256Digest> sha256;
};

// A message file read into memory and not yet parsed: reading and parsing are separate steps
// so that a caller can overlap the disk with the parser.
struct MessageFileData {
  struct Release {
    void operator()(uint8_t* bytes) const;
  };
  std::string reason;  // why the file could not be read; empty when it was
  std::unique_ptr<uint8_t, Release> bytes;
  size_t size = 0;
  uint64_t modified = 0;  // FILETIME of the file's last change
};

// The first step of importMessageFile. Reads only regular files: a named pipe, device or socket
// is refused without waiting on it, and reading leaves the file's access time alone where the
// system allows that.
MessageFileData readMessageFile(const std::filesystem::path& file);

// The second step: converts what readMessageFile read.
ImportResult importMessageData(MessageFileData data);

// Reads and converts `file`. Never throws for bad content: a file that is empty, unreadable,
// not an Internet message or without anything to show comes back with ok == false and a reason.
ImportResult importMessageFile(const std::filesystem::path& file);

// The same for a message already in memory; `fallbackTime` (FILETIME) dates mail without any
// usable Date or Received header.
ImportResult importMessageBytes(std::string_view bytes, uint64_t fallbackTime);

}  // namespace mail
