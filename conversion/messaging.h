// The messaging layer the conversion run works through: a session with attached stores,
// their folders and mail items. Failures are MessagingError exceptions; the caller decides
// whether a failing step ends its work or is skipped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "conversion/store_backend.h"

namespace conversion {

class MessagingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Published constants of the automation objects the layer stands in for.
inline constexpr int kStoreFormatDefault = 1;    // olStoreDefault
inline constexpr int kFolderTypeMail = 6;        // olFolderInbox
inline constexpr int kItemTypeMail = 0;          // olMailItem
inline constexpr int kImportFormatRfc822 = 1024;  // olRFC822
inline constexpr uint32_t kTagMessageFlags = 0x0E070003;  // PR_MESSAGE_FLAGS
inline constexpr int32_t kMessageFlagRead = 0x01;
inline constexpr int32_t kMessageFlagHasAttach = 0x10;

class Session;
struct StoreState;
class FolderCollection;
class ItemCollection;

class Folder {
 public:
  Folder(std::shared_ptr<StoreState> store, FolderId id) : store_(std::move(store)), id_(id) {}
  std::string Name() const;
  FolderCollection Folders() const;
  ItemCollection Items() const;
  FolderId id() const { return id_; }
  bool belongsTo(const StoreState* store) const { return store_.get() == store; }
  const std::shared_ptr<StoreState>& store() const { return store_; }
  bool operator==(const Folder& other) const { return store_ == other.store_ && id_ == other.id_; }

 private:
  std::shared_ptr<StoreState> store_;
  FolderId id_;
};

class FolderCollection {
 public:
  FolderCollection(std::shared_ptr<StoreState> store, FolderId parent)
      : store_(std::move(store)), parent_(parent) {}
  // Creates the subfolder; only the mail-folder type is known. A name that is already
  // taken is refused: a store holds one folder per name and parent.
  Folder Add(const std::string& name, int folderType);
  // The subfolder named exactly `name`; throws when there is none.
  Folder Item(const std::string& name) const;
  std::optional<Folder> Find(const std::string& name) const;
  std::vector<Folder> All() const;

 private:
  std::shared_ptr<StoreState> store_;
  FolderId parent_;
};

class MailItem {
 public:
  MailItem(std::shared_ptr<StoreState> store, FolderId folder);
  // Loads the content of an RFC 822 file; throws with the importer's reason when the file
  // cannot be read or is not an Internet message.
  void Import(const std::filesystem::path& file, int format);
  pst::messaging::MessageContent& MAPIOBJECT();
  // Stores the item in its folder. An item without imported content is refused rather than
  // stored empty.
  void Save();
  // The same, unless the store's file would then complete larger than `maxFileSize` bytes:
  // then the item stays unsaved and false is returned.
  bool SaveWithin(uint64_t maxFileSize);
  // Makes an unsaved item go into `folder` (of any attached store) instead.
  void Move(const Folder& folder);
  bool hasAttachments() const { return !message_->attachments.empty(); }
  // The SHA-256 of the file's bytes, when its reader reckoned it.
  const std::optional<mail::Sha256Digest>& fileDigest() const { return fileDigest_; }

 private:
  std::shared_ptr<StoreState> store_;
  FolderId folder_;
  std::unique_ptr<pst::messaging::MessageContent> message_;
  bool imported_ = false;
  bool saved_ = false;
  std::optional<mail::Sha256Digest> fileDigest_;
};

class ItemCollection {
 public:
  ItemCollection(std::shared_ptr<StoreState> store, FolderId folder)
      : store_(std::move(store)), folder_(folder) {}
  MailItem Add(int itemType);

 private:
  std::shared_ptr<StoreState> store_;
  FolderId folder_;
};

// A store attached to the session.
class MessageStore {
 public:
  explicit MessageStore(std::shared_ptr<StoreState> state) : state_(std::move(state)) {}
  const std::string& EntryID() const;
  Folder IPMRootFolder() const;
  // Announces how many items each folder will receive, so the store can number them in the
  // order readers look for them. Only a hint: more or fewer may be added.
  void ExpectItems(const std::vector<std::pair<Folder, uint64_t>>& counts);
  // Completes the file under its final name and detaches the store. The file is written as
  // "<name>.part" until then; should the final name have been taken meanwhile, " (2)",
  // " (3)"... goes before the extension. Throws when the file cannot be completed, or when its
  // ".part" name no longer is this store's file (moved, deleted or replaced by another program).
  void Remove();
  // Detaches the store and deletes its unfinished file: after a failed write nothing in it
  // can be trusted, and completing it could only mislead.
  void Abandon();
  const std::string& displayName() const;
  // The final name once Remove succeeded; before, the name the file is meant to get.
  std::filesystem::path filePath() const;

 private:
  void detach();
  std::shared_ptr<StoreState> state_;
};

class StoreCollection {
 public:
  explicit StoreCollection(Session& session) : session_(&session) {}
  // Creates the file `pstPath` + ".part" and attaches it under `displayName`; when the name
  // (or its ".part") is taken, the first free of " (2)", " (3)"... before the extension.
  MessageStore AddPSTStore(const std::filesystem::path& pstPath, int format, const std::string& displayName);
  MessageStore GetStoreFromID(const std::string& entryId) const;

 private:
  Session* session_;
};

class Session {
 public:
  explicit Session(std::shared_ptr<const MessagingBackend> backend = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // `digests`: the importer reckons each file's SHA-256 (MessagingBackend::openImporter).
  void Logon(bool digests = false);
  StoreCollection Stores();
  // "\\<display name>\<folder>\<subfolder>...": components compared exactly. Found folders
  // are remembered, so looking up the same path again costs one map lookup.
  Folder GetFolderFromPath(const std::string& path);
  // Ends the session; a store still attached is completed first.
  void Logoff();

  // Announces a file a mail item of this session will import later, so that it can be read
  // ahead; files are imported in the order announced.
  void ExpectFile(const std::filesystem::path& file);
  mail::ImportResult ImportFile(const std::filesystem::path& file);
  // Served while ImportFile waits for a file read elsewhere (see FileImporter::setWaitHandler).
  void SetImportWaitHandler(FileImporter::WaitHandler handler);

  bool loggedOn() const { return loggedOn_; }
  // The root folder of the attached store with this display name (the namespace's top level).
  std::optional<Folder> topLevelFolder(const std::string& displayName) const;
  const MessagingBackend& backend() const { return *backend_; }

 private:
  friend class StoreCollection;
  friend class MessageStore;
  void requireLoggedOn() const;
  void detach(const StoreState* store);

  std::shared_ptr<const MessagingBackend> backend_;
  bool loggedOn_ = false;
  uint64_t nextEntryId_ = 1;
  std::vector<std::shared_ptr<StoreState>> attached_;
  std::unordered_map<std::string, Folder> pathCache_;
  std::unique_ptr<FileImporter> importer_;  // while logged on
};

// The utility object: sets one property on a message held by a mail item.
class MAPIUtils {
 public:
  void HrSetOneProp(pst::messaging::MessageContent& mapiObject, uint32_t tag, int32_t value, bool save);
};

}  // namespace conversion
