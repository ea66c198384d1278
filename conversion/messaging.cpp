#include "conversion/messaging.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "conversion/part_file.h"

namespace conversion {

struct StoreState {
  Session* session = nullptr;  // cleared when the store leaves the session
  std::optional<PartFile> part;  // before `file`, which writes into it
  std::unique_ptr<StoreFile> file;
  std::string displayName;
  std::string entryId;
  std::filesystem::path partPath;
  std::filesystem::path filePath;
  bool attached = false;

  StoreFile& open() {
    if (!attached || !file) throw MessagingError("The store \"" + displayName + "\" was already removed.");
    return *file;
  }
};

// ---- Folder ----

std::string Folder::Name() const { return store_->open().folderName(id_); }

FolderCollection Folder::Folders() const {
  store_->open();
  return FolderCollection(store_, id_);
}

ItemCollection Folder::Items() const {
  store_->open();
  return ItemCollection(store_, id_);
}

Folder FolderCollection::Add(const std::string& name, int folderType) {
  if (folderType != kFolderTypeMail) {
    throw MessagingError("Folder type " + std::to_string(folderType) + " is not supported; only mail folders are.");
  }
  if (name.empty()) throw MessagingError("A folder needs a name.");
  StoreFile& file = store_->open();
  if (file.findChild(parent_, name)) {
    throw MessagingError("A folder named \"" + name + "\" already exists here.");
  }
  return Folder(store_, file.createFolder(parent_, name));
}

Folder FolderCollection::Item(const std::string& name) const {
  if (auto folder = Find(name)) return *folder;
  throw MessagingError("There is no folder named \"" + name + "\".");
}

std::optional<Folder> FolderCollection::Find(const std::string& name) const {
  if (auto id = store_->open().findChild(parent_, name)) return Folder(store_, *id);
  return std::nullopt;
}

std::vector<Folder> FolderCollection::All() const {
  std::vector<Folder> folders;
  for (FolderId id : store_->open().children(parent_)) folders.emplace_back(store_, id);
  return folders;
}

// ---- Items ----

MailItem ItemCollection::Add(int itemType) {
  if (itemType != kItemTypeMail) {
    throw MessagingError("Item type " + std::to_string(itemType) + " is not supported; only mail items are.");
  }
  store_->open();
  return MailItem(store_, folder_);
}

MailItem::MailItem(std::shared_ptr<StoreState> store, FolderId folder)
    : store_(std::move(store)), folder_(folder), message_(std::make_unique<pst::messaging::MessageContent>()) {}

void MailItem::Import(const std::filesystem::path& file, int format) {
  if (format != kImportFormatRfc822) {
    throw MessagingError("Import format " + std::to_string(format) + " is not supported; only RFC 822 files are.");
  }
  Session* session = store_->session;
  if (!session) throw MessagingError("The store \"" + store_->displayName + "\" was already removed.");
  mail::ImportResult result = session->ImportFile(file);
  if (!result.ok) throw MessagingError(result.reason);
  *message_ = std::move(result.message);
  fileDigest_ = result.sha256;
  imported_ = true;
}

pst::messaging::MessageContent& MailItem::MAPIOBJECT() { return *message_; }

void MailItem::Save() { SaveWithin(std::numeric_limits<uint64_t>::max()); }

bool MailItem::SaveWithin(uint64_t maxFileSize) {
  if (!imported_) throw MessagingError("The item holds no message; nothing was saved.");
  if (saved_) throw MessagingError("The item was already saved.");
  StoreFile& file = store_->open();
  // Everything written into a file that was deleted is lost: better to stop now than at the end.
  if (store_->part && store_->part->deleted()) throw StoreWriteFailed(store_->part->deletedReason());
  if (maxFileSize == std::numeric_limits<uint64_t>::max()) {
    file.addMessage(folder_, *message_);
  } else if (!file.addMessageWithin(folder_, *message_, maxFileSize)) {
    return false;
  }
  saved_ = true;
  return true;
}

void MailItem::Move(const Folder& folder) {
  if (saved_) throw MessagingError("The item was already saved.");
  store_ = folder.store();
  folder_ = folder.id();
}

void MAPIUtils::HrSetOneProp(pst::messaging::MessageContent& mapiObject, uint32_t tag, int32_t value, bool save) {
  (void)save;  // the item's Save writes the message; there is nothing to save apart from it
  if (pst::tagType(tag) != pst::PropType::Int32) {
    throw MessagingError("Only 32-bit integer properties can be set this way.");
  }
  auto& props = mapiObject.props;
  auto it = std::find_if(props.begin(), props.end(), [tag](const pst::Property& p) { return p.tag == tag; });
  if (it != props.end()) {
    it->value.emplace<int32_t>(value);
  } else {
    props.emplace_back();
    props.back().tag = tag;
    props.back().value.emplace<int32_t>(value);
  }
}

// ---- Stores ----

const std::string& MessageStore::EntryID() const { return state_->entryId; }
const std::string& MessageStore::displayName() const { return state_->displayName; }
std::filesystem::path MessageStore::filePath() const { return state_->filePath; }

Folder MessageStore::IPMRootFolder() const { return Folder(state_, state_->open().topFolder()); }

void MessageStore::ExpectItems(const std::vector<std::pair<Folder, uint64_t>>& counts) {
  StoreFile& file = state_->open();
  std::vector<std::pair<FolderId, uint64_t>> ids;
  ids.reserve(counts.size());
  for (const auto& [folder, n] : counts) {
    if (!folder.belongsTo(state_.get())) throw MessagingError("The folder belongs to another store.");
    ids.emplace_back(folder.id(), n);
  }
  file.expectMessages(ids);
}

void MessageStore::detach() {
  state_->attached = false;
  state_->file.reset();
  if (state_->session) state_->session->detach(state_.get());
  state_->session = nullptr;
}

void MessageStore::Remove() {
  StoreFile& file = state_->open();
  // Whatever happens, the store leaves the session: a half-written file cannot be continued.
  struct Detach {
    MessageStore* store;
    ~Detach() { store->detach(); }
  } detach{this};
  file.close();
  state_->filePath = state_->part->publish();
}

void MessageStore::Abandon() {
  state_->open();
  detach();
  state_->part->discard();
}

MessageStore StoreCollection::AddPSTStore(const std::filesystem::path& pstPath, int format,
                                          const std::string& displayName) {
  session_->requireLoggedOn();
  if (format != kStoreFormatDefault) {
    throw MessagingError("Store format " + std::to_string(format) + " is not supported.");
  }
  auto state = std::make_shared<StoreState>();
  state->session = session_;
  state->displayName = displayName;
  try {
    state->part.emplace(PartFile::create(pstPath));
  } catch (const std::runtime_error& e) {
    throw MessagingError(e.what());
  }
  state->filePath = state->part->pstPath();
  state->partPath = state->part->partPath();
  try {
    state->file = session_->backend().createStore(state->part->duplicateDescriptor(), state->partPath, displayName);
  } catch (...) {
    state->part->discard();
    throw;
  }
  state->entryId = "vantorel-store-" + std::to_string(session_->nextEntryId_++);
  state->attached = true;
  session_->attached_.push_back(state);
  return MessageStore(state);
}

MessageStore StoreCollection::GetStoreFromID(const std::string& entryId) const {
  session_->requireLoggedOn();
  for (const auto& store : session_->attached_) {
    if (store->entryId == entryId) return MessageStore(store);
  }
  throw MessagingError("No attached store has this entry identifier.");
}

// ---- Session ----

Session::Session(std::shared_ptr<const MessagingBackend> backend)
    : backend_(backend ? std::move(backend) : pstBackend()) {}

Session::~Session() {
  importer_.reset();
  for (const auto& store : attached_) store->session = nullptr;
}

void Session::Logon(bool digests) {
  if (!backend_->createStore || !backend_->importFile) {
    throw MessagingError("The PST writer is not available in this build.");
  }
  importer_ = backend_->openImporter ? backend_->openImporter(digests) : makeDirectImporter(backend_->importFile);
  loggedOn_ = true;
}

StoreCollection Session::Stores() {
  requireLoggedOn();
  return StoreCollection(*this);
}

void Session::requireLoggedOn() const {
  if (!loggedOn_) throw MessagingError("The messaging session is not logged on.");
}

std::optional<Folder> Session::topLevelFolder(const std::string& displayName) const {
  if (!loggedOn_) return std::nullopt;
  for (const auto& store : attached_) {
    if (store->displayName == displayName) return Folder(store, store->open().topFolder());
  }
  return std::nullopt;
}

Folder Session::GetFolderFromPath(const std::string& path) {
  requireLoggedOn();
  if (auto cached = pathCache_.find(path); cached != pathCache_.end()) return cached->second;
  if (path.size() < 3 || path.compare(0, 2, "\\\\") != 0) {
    throw MessagingError("The folder path \"" + path + "\" does not start with \\\\ and a store name.");
  }
  std::vector<std::string> components;
  size_t start = 2;
  while (true) {
    const size_t slash = path.find('\\', start);
    components.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::optional<Folder> folder = topLevelFolder(components.front());
  if (!folder) throw MessagingError("No attached store is named \"" + components.front() + "\".");
  for (size_t i = 1; i < components.size(); ++i) {
    auto child = folder->Folders().Find(components[i]);
    if (!child) throw MessagingError("There is no folder " + path + ".");
    folder = std::move(child);
  }
  pathCache_.emplace(path, *folder);
  return *folder;
}

void Session::detach(const StoreState* store) {
  attached_.erase(std::remove_if(attached_.begin(), attached_.end(),
                                 [store](const auto& s) { return s.get() == store; }),
                  attached_.end());
  pathCache_.clear();
}

void Session::Logoff() {
  // Completing a store left attached keeps its messages; a failure here has nothing left to lose.
  std::vector<std::shared_ptr<StoreState>> stores = attached_;
  for (const auto& store : stores) {
    try {
      MessageStore(store).Remove();
    } catch (const std::exception&) {
    }
  }
  attached_.clear();
  pathCache_.clear();
  importer_.reset();
  loggedOn_ = false;
}

void Session::ExpectFile(const std::filesystem::path& file) {
  if (importer_) importer_->expect(file);
}

void Session::SetImportWaitHandler(FileImporter::WaitHandler handler) {
  if (importer_) importer_->setWaitHandler(std::move(handler));
}

mail::ImportResult Session::ImportFile(const std::filesystem::path& file) {
  requireLoggedOn();
  return importer_->import(file);
}

}  // namespace conversion
