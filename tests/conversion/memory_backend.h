// A store kept in memory, to drive the messaging layer and the run without the PST writer.
// Its file on disk only marks where a real one would be: created exclusively, rewritten on
// close. The importer reads small text files: a first line with a colon makes a message
// (kept as its subject), "ATTACH" anywhere adds an attachment, anything else is refused.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "conversion/store_backend.h"

namespace conversion::test {

struct MemoryFolder {
  std::string name;
  FolderId parent = 0;
  std::vector<FolderId> children;
  std::vector<pst::messaging::MessageContent> messages;  // props only
};

struct MemoryStoreRecord {
  std::filesystem::path file;
  std::string displayName;
  std::vector<MemoryFolder> folders{2};   // index = FolderId; 1 = top of the hierarchy
  std::vector<std::string> createdPaths;  // "A", "A\B"... in creation order
  std::map<std::string, uint64_t> announced;  // folder path -> messages announced for it
  bool closed = false;

  std::string pathOf(FolderId id) const {
    if (id <= 1) return {};
    const std::string parent = pathOf(folders[id].parent);
    return parent.empty() ? folders[id].name : parent + "\\" + folders[id].name;
  }
  const MemoryFolder* at(const std::string& path) const {
    for (FolderId id = 2; id < folders.size(); ++id) {
      if (pathOf(id) == path) return &folders[id];
    }
    return nullptr;
  }
  size_t messageCount() const {
    size_t n = 0;
    for (const auto& f : folders) n += f.messages.size();
    return n;
  }
};

struct MemoryFaults {
  std::set<std::string> refusedFolderNames;
  bool failClose = false;  // as on a full disk: the file is gone
  size_t failWritesAfter = SIZE_MAX;  // messages stored (in all stores) before the disk is full
  size_t messagesPerFile = SIZE_MAX;  // what a store takes within any size limit
  size_t written = 0;
};

class MemoryStoreFile final : public StoreFile {
 public:
  MemoryStoreFile(std::shared_ptr<MemoryStoreRecord> r, std::shared_ptr<MemoryFaults> f)
      : record_(std::move(r)), faults_(std::move(f)) {}
  FolderId topFolder() const override { return 1; }
  FolderId createFolder(FolderId parent, const std::string& name) override {
    if (faults_->refusedFolderNames.count(name)) throw std::runtime_error("refused folder name " + name);
    const auto id = static_cast<FolderId>(record_->folders.size());
    record_->folders.push_back(MemoryFolder{name, parent, {}, {}});
    record_->folders[parent].children.push_back(id);
    record_->createdPaths.push_back(record_->pathOf(id));
    return id;
  }
  std::optional<FolderId> findChild(FolderId parent, const std::string& name) const override {
    for (FolderId id : record_->folders.at(parent).children) {
      if (record_->folders[id].name == name) return id;
    }
    return std::nullopt;
  }
  std::vector<FolderId> children(FolderId parent) const override { return record_->folders.at(parent).children; }
  std::string folderName(FolderId folder) const override { return record_->folders.at(folder).name; }
  void addMessage(FolderId folder, const pst::messaging::MessageContent& message) override {
    if (faults_->written >= faults_->failWritesAfter)
      throw StoreWriteFailed("Cannot write " + record_->file.string() + ": No space left on device");
    ++faults_->written;
    record_->folders.at(folder).messages.emplace_back().props = message.props;
  }
  bool addMessageWithin(FolderId folder, const pst::messaging::MessageContent& message, uint64_t) override {
    if (record_->messageCount() >= faults_->messagesPerFile) return false;
    addMessage(folder, message);
    return true;
  }
  void expectMessages(const std::vector<std::pair<FolderId, uint64_t>>& counts) override {
    for (const auto& [folder, n] : counts) record_->announced[record_->pathOf(folder)] += n;
  }
  void close() override {
    if (faults_->failClose) {
      std::filesystem::remove(record_->file);
      throw std::runtime_error("Cannot write " + record_->file.string() + ": No space left on device");
    }
    std::ofstream(record_->file) << "complete\n";
    record_->closed = true;
  }

 private:
  std::shared_ptr<MemoryStoreRecord> record_;
  std::shared_ptr<MemoryFaults> faults_;
};

inline constexpr uint32_t kTagSubject = 0x0037001F;

inline mail::ImportResult importTextMessage(const std::filesystem::path& file) {
  mail::ImportResult result;
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  if (!in || text.substr(0, text.find('\n')).find(':') == std::string::npos) {
    result.reason = in ? "not an Internet message" : "cannot read " + file.string();
    return result;
  }
  result.ok = true;
  pst::Property& subject = result.message.props.emplace_back();
  subject.tag = kTagSubject;
  subject.value = text.substr(0, text.find('\n'));
  if (text.find("ATTACH") != std::string::npos) result.message.attachments.emplace_back();
  return result;
}

class MemoryBackend {
 public:
  // `preset`: folders a new store already has below its top folder.
  explicit MemoryBackend(std::vector<std::string> preset = {}) : preset_(std::move(preset)) {}

  std::shared_ptr<const MessagingBackend> backend() {
    auto b = std::make_shared<MessagingBackend>();
    b->createStore = [this](int fd, const std::filesystem::path& path, const std::string& name) -> std::unique_ptr<StoreFile> {
      ::close(fd);  // written by name on close
      auto record = std::make_shared<MemoryStoreRecord>();
      record->file = path;
      record->displayName = name;
      stores.push_back(record);
      auto file = std::make_unique<MemoryStoreFile>(record, faults);
      for (const auto& folder : preset_) file->createFolder(1, folder);
      record->createdPaths.clear();
      return file;
    };
    b->importFile = importTextMessage;
    return b;
  }

  std::vector<std::shared_ptr<MemoryStoreRecord>> stores;
  std::shared_ptr<MemoryFaults> faults = std::make_shared<MemoryFaults>();

 private:
  std::vector<std::string> preset_;
};

}  // namespace conversion::test
