#include "conversion/file_importer.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace conversion {
namespace {

size_t valueSize(const pst::PropValue& value) {
  return std::visit(
      [](const auto& v) -> size_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, pst::Bytes>) {
          return v.capacity();
        } else if constexpr (std::is_same_v<T, std::vector<std::string>> ||
                             std::is_same_v<T, std::vector<pst::Bytes>>) {
          size_t total = 0;
          for (const auto& item : v) total += item.capacity() + sizeof(item);
          return total;
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          return v.capacity() * sizeof(int32_t);
        } else {
          return 0;
        }
      },
      value);
}

size_t propsSize(const std::vector<pst::Property>& props) {
  size_t total = props.capacity() * sizeof(pst::Property);
  for (const auto& p : props) total += valueSize(p.value);
  return total;
}

class DirectImporter final : public FileImporter {
 public:
  explicit DirectImporter(ImportFunction importFile) : importFile_(std::move(importFile)) {}
  void expect(const std::filesystem::path&) override {}
  mail::ImportResult import(const std::filesystem::path& file) override { return importFile_(file); }

 private:
  ImportFunction importFile_;
};

class PrefetchingImporter final : public FileImporter {
 public:
  PrefetchingImporter(ImportFunction importFile, size_t maxAhead, size_t maxAheadBytes)
      : importFile_(std::move(importFile)),
        maxAhead_(maxAhead == 0 ? 1 : maxAhead),
        maxAheadBytes_(maxAheadBytes),
        worker_([this] { work(); }) {}

  ~PrefetchingImporter() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  void expect(const std::filesystem::path& file) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::make_shared<Entry>(file));
    }
    changed_.notify_all();
  }

  mail::ImportResult import(const std::filesystem::path& file) override {
    std::unique_lock lock(mutex_);
    // Announced files the caller passed over are dropped, results and all.
    auto found = queue_.begin();
    while (found != queue_.end() && (*found)->file != file) ++found;
    if (found == queue_.end()) {
      dropFront(queue_.size());
      queue_.push_front(std::make_shared<Entry>(file));
    } else {
      dropFront(static_cast<size_t>(found - queue_.begin()));
    }
    const std::shared_ptr<Entry> entry = queue_.front();
    changed_.notify_all();
    changed_.wait(lock, [&] { return entry->state == State::Done; });
    queue_.pop_front();
    heldBytes_ -= entry->cost;
    --heldCount_;
    lock.unlock();
    changed_.notify_all();
    if (entry->error) std::rethrow_exception(entry->error);
    return std::move(entry->result);
  }

 private:
  enum class State { Waiting, Parsing, Done };
  struct Entry {
    explicit Entry(std::filesystem::path f) : file(std::move(f)) {}
    std::filesystem::path file;
    State state = State::Waiting;
    bool dropped = false;
    mail::ImportResult result;
    std::exception_ptr error;
    size_t cost = 0;
  };

  // Called with the lock held.
  void dropFront(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      Entry& entry = *queue_.front();
      if (entry.state == State::Done) {
        heldBytes_ -= entry.cost;
        --heldCount_;
      }
      entry.dropped = true;
      queue_.pop_front();
    }
  }

  // Called with the lock held: the next entry to parse, when there is room for its result.
  std::shared_ptr<Entry> nextToParse() const {
    if (heldCount_ > 0 && (heldCount_ >= maxAhead_ || heldBytes_ >= maxAheadBytes_)) return nullptr;
    for (const auto& entry : queue_) {
      if (entry->state == State::Waiting) return entry;
    }
    return nullptr;
  }

  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      std::shared_ptr<Entry> entry;
      changed_.wait(lock, [&] { return quit_ || (entry = nextToParse()) != nullptr; });
      if (quit_) return;
      entry->state = State::Parsing;
      lock.unlock();
      mail::ImportResult result;
      std::exception_ptr error;
      try {
        result = importFile_(entry->file);
      } catch (...) {
        error = std::current_exception();
      }
      const size_t cost = error ? 0 : approximateSize(result.message) + entry->file.native().size();
      lock.lock();
      entry->state = State::Done;
      if (entry->dropped) continue;  // its memory goes with the last reference
      entry->result = std::move(result);
      entry->error = error;
      entry->cost = cost;
      heldBytes_ += cost;
      ++heldCount_;
      changed_.notify_all();
    }
  }

  const ImportFunction importFile_;
  const size_t maxAhead_;
  const size_t maxAheadBytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Entry>> queue_;  // announced and not yet taken, in order
  size_t heldCount_ = 0;                      // parsed results waiting in the queue
  size_t heldBytes_ = 0;
  bool quit_ = false;
  std::thread worker_;  // last: starts once everything above exists
};

}  // namespace

size_t approximateSize(const pst::messaging::MessageContent& message) {
  size_t total = sizeof(message) + propsSize(message.props);
  for (const auto& named : message.named) total += sizeof(named) + valueSize(named.value);
  for (const auto& row : message.recipients) total += propsSize(row);
  for (const auto& attachment : message.attachments) {
    total += sizeof(attachment) + propsSize(attachment.props);
    if (attachment.embedded) total += approximateSize(*attachment.embedded);
  }
  return total;
}

std::unique_ptr<FileImporter> makeDirectImporter(ImportFunction importFile) {
  return std::make_unique<DirectImporter>(std::move(importFile));
}

std::unique_ptr<FileImporter> makePrefetchingImporter(ImportFunction importFile, size_t maxAhead,
                                                      size_t maxAheadBytes) {
  return std::make_unique<PrefetchingImporter>(std::move(importFile), maxAhead, maxAheadBytes);
}

}  // namespace conversion
