#include <memory>

#include "conversion/reader_pool.h"
#include "conversion/store_backend.h"
#include "pst/messaging/store.h"
#include "pst/ndb/types.h"

namespace conversion {

namespace {

class PstStoreFile final : public StoreFile {
 public:
  explicit PstStoreFile(std::unique_ptr<pst::messaging::Store> store) : store_(std::move(store)) {}
  FolderId topFolder() const override { return store_->ipmSubtree(); }
  FolderId createFolder(FolderId parent, const std::string& name) override {
    return store_->createFolder(parent, name);
  }
  std::optional<FolderId> findChild(FolderId parent, const std::string& name) const override {
    return store_->findChild(parent, name);
  }
  std::vector<FolderId> children(FolderId parent) const override { return store_->children(parent); }
  std::string folderName(FolderId folder) const override { return store_->folderName(folder); }
  void addMessage(FolderId folder, const pst::messaging::MessageContent& message) override {
    try {
      store_->addMessage(folder, message);
    } catch (const pst::WriteFailure& e) {
      throw StoreWriteFailed(e.what());
    }
  }
  bool addMessageWithin(FolderId folder, const pst::messaging::MessageContent& message, uint64_t maxFileSize) override {
    try {
      return store_->addMessageWithin(folder, message, maxFileSize);
    } catch (const pst::WriteFailure& e) {
      throw StoreWriteFailed(e.what());
    }
  }
  void expectMessages(const std::vector<std::pair<FolderId, uint64_t>>& counts) override {
    store_->expectMessages(counts);
  }
  void close() override { store_->close(); }

 private:
  std::unique_ptr<pst::messaging::Store> store_;
};

}  // namespace

std::shared_ptr<const MessagingBackend> pstBackend() {
  static const auto backend = std::make_shared<const MessagingBackend>(MessagingBackend{
      [](int fd, const std::filesystem::path& path, const std::string& displayName) -> std::unique_ptr<StoreFile> {
        return std::make_unique<PstStoreFile>(pst::messaging::Store::create(path, displayName, fd));
      },
      [](const std::filesystem::path& file) { return mail::importMessageFile(file); },
      [](bool digests) {
        // The next messages are read and parsed in reader processes while this one is written:
        // whatever a message does to the parser, it cannot take the run down with it.
        ReaderPoolSettings settings;
        settings.program = findReaderProgram();
        settings.digests = digests;
        return makeReaderPool(std::move(settings));
      },
  });
  return backend;
}

}  // namespace conversion
