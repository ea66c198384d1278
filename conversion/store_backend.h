// What the messaging layer writes through: a store file and a message-file importer. The
// program uses the PST writer and the GMime importer; tests put lighter ones in their place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "conversion/file_importer.h"
#include "mail/importer.h"
#include "pst/messaging/message_content.h"

namespace conversion {

using FolderId = uint32_t;

// The store file can no longer be written (a full disk, a file deleted from under the run):
// nothing more can be saved, and the run ends at once.
class StoreWriteFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One open store file. Mirrors the operations of the PST writer that the layer relies on.
class StoreFile {
 public:
  virtual ~StoreFile() = default;
  // The folder that user folders go under ("Top of Outlook data file").
  virtual FolderId topFolder() const = 0;
  virtual FolderId createFolder(FolderId parent, const std::string& name) = 0;
  virtual std::optional<FolderId> findChild(FolderId parent, const std::string& name) const = 0;
  virtual std::vector<FolderId> children(FolderId parent) const = 0;
  virtual std::string folderName(FolderId folder) const = 0;
  // Throws StoreWriteFailed when the file cannot take any more, anything else when only this
  // message is refused.
  virtual void addMessage(FolderId folder, const pst::messaging::MessageContent& message) = 0;
  // The same, unless the completed file would then be larger than `maxFileSize`: then nothing
  // is written and false returned. A store without a size of its own takes every message.
  virtual bool addMessageWithin(FolderId folder, const pst::messaging::MessageContent& message, uint64_t maxFileSize) {
    (void)maxFileSize;
    addMessage(folder, message);
    return true;
  }
  // How many messages each folder is about to receive; a hint for numbering them.
  virtual void expectMessages(const std::vector<std::pair<FolderId, uint64_t>>& counts) { (void)counts; }
  // Completes the file; nothing may be added afterwards.
  virtual void close() = 0;
};

struct MessagingBackend {
  // Writes an empty store into the new, empty file open at the descriptor (the store closes
  // it when done, also when it fails) and known by the path.
  std::function<std::unique_ptr<StoreFile>(int fd, const std::filesystem::path&, const std::string& displayName)>
      createStore;
  std::function<mail::ImportResult(const std::filesystem::path&)> importFile;
  // The importer a session uses for one run; when unset, importFile is called directly.
  // `digests`: each message carries the SHA-256 of its file's bytes, for a ledger; they cost
  // a pass over every byte, so only a run that records them asks for them.
  std::function<std::unique_ptr<FileImporter>(bool digests)> openImporter;
};

// The PST writer with the GMime importer.
std::shared_ptr<const MessagingBackend> pstBackend();

}  // namespace conversion
