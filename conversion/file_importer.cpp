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
  PrefetchingImporter(ImportSteps steps, size_t maxAhead, size_t maxAheadBytes)
      : steps_(std::move(steps)),
        maxAhead_(maxAhead == 0 ? 1 : maxAhead),
        maxAheadBytes_(maxAheadBytes),
        reader_([this] { read(); }),
        parser_([this] { parse(); }) {}

  ~PrefetchingImporter() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    readerWake_.notify_one();
    parserWake_.notify_one();
    reader_.join();
    parser_.join();
  }

  void expect(const std::filesystem::path& file) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::make_shared<Entry>(file));
    }
    readerWake_.notify_one();
  }

  mail::ImportResult import(const std::filesystem::path& file) override {
    std::unique_lock lock(mutex_);
    // Announced files the caller passed over are dropped, with whatever was read of them.
    auto found = queue_.begin();
    while (found != queue_.end() && (*found)->file != file) ++found;
    if (found == queue_.end()) {
      dropFront(queue_.size());
      queue_.push_front(std::make_shared<Entry>(file));
    } else {
      dropFront(static_cast<size_t>(found - queue_.begin()));
    }
    const std::shared_ptr<Entry> entry = queue_.front();
    readerWake_.notify_one();
    resultReady_.wait(lock, [&] { return entry->state == State::Done; });
    queue_.pop_front();
    release(*entry);
    lock.unlock();
    readerWake_.notify_one();
    if (entry->error) std::rethrow_exception(entry->error);
    return std::move(entry->result);
  }

 private:
  enum class State { Waiting, Reading, Read, Parsing, Done };
  struct Entry {
    explicit Entry(std::filesystem::path f) : file(std::move(f)) {}
    std::filesystem::path file;
    State state = State::Waiting;
    bool dropped = false;
    bool held = false;  // counted in heldCount_ and heldBytes_ with `cost`
    mail::MessageFileData data;
    mail::ImportResult result;
    std::exception_ptr error;
    size_t cost = 0;
  };

  // The helpers below are called with the lock held.
  void hold(Entry& entry, size_t cost) {
    release(entry);
    entry.cost = cost;
    entry.held = true;
    heldBytes_ += cost;
    ++heldCount_;
  }
  void release(Entry& entry) {
    if (!entry.held) return;
    heldBytes_ -= entry.cost;
    --heldCount_;
    entry.held = false;
  }
  void dropFront(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      Entry& entry = *queue_.front();
      release(entry);
      entry.dropped = true;
      queue_.pop_front();
    }
  }
  std::shared_ptr<Entry> first(State state) const {
    for (const auto& entry : queue_) {
      if (entry->state == state) return entry;
    }
    return nullptr;
  }
  bool roomToRead() const { return heldCount_ == 0 || (heldCount_ < maxAhead_ && heldBytes_ < maxAheadBytes_); }

  void read() {
    std::unique_lock lock(mutex_);
    while (true) {
      std::shared_ptr<Entry> entry;
      readerWake_.wait(lock, [&] { return quit_ || (roomToRead() && (entry = first(State::Waiting)) != nullptr); });
      if (quit_) return;
      entry->state = State::Reading;
      lock.unlock();
      mail::MessageFileData data;
      std::exception_ptr error;
      try {
        data = steps_.read(entry->file);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      if (entry->dropped) continue;
      entry->data = std::move(data);
      entry->error = error;
      entry->state = error ? State::Done : State::Read;
      hold(*entry, entry->data.size + entry->file.native().size());
      if (error) {
        resultReady_.notify_one();
      } else {
        parserWake_.notify_one();
      }
    }
  }

  void parse() {
    std::unique_lock lock(mutex_);
    while (true) {
      std::shared_ptr<Entry> entry;
      parserWake_.wait(lock, [&] { return quit_ || (entry = first(State::Read)) != nullptr; });
      if (quit_) return;
      entry->state = State::Parsing;
      mail::MessageFileData data = std::move(entry->data);
      lock.unlock();
      mail::ImportResult result;
      std::exception_ptr error;
      try {
        result = steps_.parse(std::move(data));
      } catch (...) {
        error = std::current_exception();
      }
      const size_t cost = error ? 0 : approximateSize(result.message);
      lock.lock();
      entry->state = State::Done;
      if (entry->dropped) continue;  // its memory goes with the last reference
      entry->result = std::move(result);
      entry->error = error;
      hold(*entry, cost + entry->file.native().size());
      resultReady_.notify_one();
      // A parsed message may hold less than it took to read, leaving room for the reader.
      readerWake_.notify_one();
    }
  }

  const ImportSteps steps_;
  const size_t maxAhead_;
  const size_t maxAheadBytes_;
  std::mutex mutex_;
  // One waiter each, so that a change wakes only the thread that can act on it.
  std::condition_variable readerWake_, parserWake_, resultReady_;
  std::deque<std::shared_ptr<Entry>> queue_;  // announced and not yet taken, in order
  size_t heldCount_ = 0;                      // entries read or parsed, waiting in the queue
  size_t heldBytes_ = 0;
  bool quit_ = false;
  // Last: they start once everything above exists.
  std::thread reader_;
  std::thread parser_;
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

std::unique_ptr<FileImporter> makePrefetchingImporter(ImportSteps steps, size_t maxAhead, size_t maxAheadBytes) {
  return std::make_unique<PrefetchingImporter>(std::move(steps), maxAhead, maxAheadBytes);
}

}  // namespace conversion
