// IMAP.MRK: the mail server's index of one folder's messages, a 36-byte header (nine
// little-endian 32-bit values: version 1, UID validity, next UID, write counter, four fillers,
// and CR LF) followed by one 36-byte record per message (file name in 23 bytes, NUL-padded;
// a flags byte; UID, size and a Unix date, 32 bits each).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace conversion {

// The flags byte of a record.
enum ServerFlag : uint8_t {
  kServerRecent = 1,
  kServerDraft = 2,
  kServerDeleted = 4,
  kServerFlagged = 8,
  kServerAnswered = 16,
  kServerSeen = 32,
};

inline constexpr const char* kServerIndexName = "IMAP.MRK";

struct ServerIndex {
  enum class Kind {
    Missing,   // the folder has no index
    Read,      // `flags` holds every record
    Unusable,  // damaged, unreadable or no file at all: `problem` says which
  };
  Kind kind = Kind::Missing;
  std::filesystem::path file;  // the index file, when there is one
  std::string problem;
  std::unordered_map<std::string, uint8_t> flags;  // by file name in lower case

  // The flags of the record for `fileName` (letter case ignored), if there is one.
  std::optional<uint8_t> find(std::string_view fileName) const;
};

// Reads the index of `folder`; its name is matched in any letter case. The file is read as a
// stream and only after its size agrees with its header, so a damaged index costs no more
// memory than the records it really holds. Only a regular file is opened, never waiting on a
// named pipe; a link is followed only when it leads into `folder` itself or into one of
// `stores` (the folders being converted), compared after resolving links.
ServerIndex ReadServerIndex(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& stores = {});

// Parses an index held in memory.
ServerIndex ParseServerIndex(std::string_view bytes);

}  // namespace conversion
