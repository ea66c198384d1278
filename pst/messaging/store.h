// A new PST message store: created empty like one Outlook makes, filled folder by folder
// and message by message, completed by close().
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pst/messaging/message_content.h"

namespace pst::messaging {

using FolderId = Nid;  // the folder's NID

class Store {
 public:
  // Creates the file (never overwrites: pst::Error if it exists) with `displayName` (UTF-8).
  // With `adopted`, writes instead through that descriptor of an empty file the caller
  // created as `path` (and closes it), so that the caller can tell its own file from any that
  // takes the name later.
  static std::unique_ptr<Store> create(const std::filesystem::path& path, const std::string& displayName,
                                       int adopted = -1);
  // Without close(), the unfinished file is removed: a PST without its indexes is of no use.
  ~Store();

  // "Top of Outlook data file", the folder that user folders go under.
  FolderId ipmSubtree() const;
  FolderId rootFolder() const;

  // Creates a mail folder (container class "IPF.Note") named `name` (UTF-8) under `parent`.
  // A name already used under `parent` gives that folder; an empty name is a pst::Error.
  FolderId createFolder(FolderId parent, const std::string& name);
  // The child of `parent` named exactly `name`, if any (constant time).
  std::optional<FolderId> findChild(FolderId parent, const std::string& name) const;
  std::vector<FolderId> children(FolderId parent) const;
  std::string folderName(FolderId folder) const;

  // Writes the message into `folder` at once; only its index entries and table row stay in memory.
  // A message that cannot be stored (too large, values that do not fit their types, nested too
  // deep) is refused whole with a pst::Error that names the cause and the limit, and leaves
  // nothing in the file. Large values are lent from `message` during the call and are back afterwards.
  void addMessage(FolderId folder, const MessageContent& message);
  // The same, unless the file would then complete larger than `maxFileSize` bytes: then the
  // message is left out as if it had never come, and false is returned.
  bool addMessageWithin(FolderId folder, const MessageContent& message, uint64_t maxFileSize);
  // At least the size of the file were it completed now (an estimate that errs high).
  uint64_t completedSizeBound() const;

  // Announces how many messages each folder is about to receive (more or fewer may come).
  // Their node ids are then set aside, counted up from the header's counter as Outlook counts
  // them, so that readers which place every node by searching the folder tree depth-first for
  // its parent (libpst, libpff) find each message's folder at once: folders later in that
  // search get the lower ids, so their messages are placed first and never lie on the way to
  // an earlier folder. Without it, a store of a million messages in many folders takes
  // those readers hours to open. Call before adding messages; a later call sets aside new ids
  // for the folders it names.
  void expectMessages(const std::vector<std::pair<FolderId, uint64_t>>& counts);

  // Writes the tables, B-trees, maps and header. The file is complete after this.
  void close();

 private:
  Store();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pst::messaging
