// The entries of a folder, read one at a time, and what each entry is, looked up by name in the
// folder held open (descriptors as in files.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/file_status.h"

namespace platform {

struct FolderEntry {
  std::string name;
  // What the listing itself says the entry is; nothing when the file system does not say.
  std::optional<FileKind> kind;
};

class FolderReader {
 public:
  FolderReader() = default;
  ~FolderReader();
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  // Opens `folder` for listing; a link to a folder is followed only with `followLink`. False
  // with errno set when it cannot be listed.
  bool open(const std::string& folder, bool followLink);
  // The next entry, "." and ".." left out. False at the end, with errno 0, or when the listing
  // broke off, with errno saying why.
  bool next(FolderEntry& entry);
  // The folder, for statusIn and linkTargetIn.
  int descriptor() const { return fd_; }

 private:
  void* listing_ = nullptr;  // POSIX: the DIR; Windows: the find handle
  int fd_ = -1;
  std::optional<FolderEntry> waiting_;  // Windows: the first entry, which came with the find handle
};

// The status of `name` in `folder`; `followLinks` false looks at a link itself. False with
// errno set when it cannot be examined.
bool statusIn(int folder, const std::string& name, FileStatus& status, bool followLinks);
// What the link `name` in `folder` holds; empty when it cannot be read.
std::string linkTargetIn(int folder, const std::string& name);

}  // namespace platform
