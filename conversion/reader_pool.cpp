#include "conversion/reader_pool.h"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "conversion/reader_process.h"
#include "reader/message_codec.h"

namespace conversion {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The next file already waits in a reader's pipe while it parses one, so no reader idles
// for a round trip between two files.
constexpr size_t kRequestsPerReader = 2;
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
constexpr const char* kReasonPrefix = "the message could not be read: ";

std::string secondsText(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

int64_t ticksNow() { return Clock::now().time_since_epoch().count(); }

// A write to a reader that has just died fails with EPIPE; the signal it also raises is
// blocked on the pool's thread and taken back here, so it never reaches the program.
void discardPendingBrokenPipe() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  const timespec now{0, 0};
  while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
  }
}

// The pool's thread starts the readers, sends them the files and enforces the time limit;
// one thread per reader takes its replies, decoding each straight from the pipe.
class ReaderPool final : public FileImporter {
 public:
  explicit ReaderPool(ReaderPoolSettings settings) : settings_(std::move(settings)) {
    for (size_t i = 0; i < std::max<size_t>(1, settings_.readers); ++i) readers_.push_back(std::make_unique<Reader>());
    thread_ = std::thread([this] { run(); });
  }

  ~ReaderPool() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      wakePool();
    }
    thread_.join();
  }

  void expect(const fs::path& file) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::make_shared<Entry>(file));
    wakePool();
  }

  mail::ImportResult import(const fs::path& file) override {
    std::unique_lock lock(mutex_);
    // Announced files the caller passed over are dropped, with whatever was read of them.
    auto found = std::find_if(queue_.begin(), queue_.end(), [&](const EntryPtr& e) { return e->file == file; });
    if (found == queue_.end()) {
      dropFront(queue_.size());
      queue_.push_front(std::make_shared<Entry>(file));
    } else {
      dropFront(static_cast<size_t>(found - queue_.begin()));
    }
    const EntryPtr entry = queue_.front();
    wakePool();
    while (!resultReady_.wait_for(lock, kWaitSlice, [&] { return entry->state == State::Done; })) {
      if (!waitHandler_) continue;
      lock.unlock();
      const bool keepWaiting = waitHandler_();
      lock.lock();
      if (!keepWaiting && entry->state != State::Done) {
        dropFront(queue_.size());
        abandon_ = true;
        wakePool();
        throw ImportStopped();
      }
    }
    queue_.erase(std::find(queue_.begin(), queue_.end(), entry));
    release(*entry);
    wakePool();
    return std::move(entry->result);
  }

  void setWaitHandler(WaitHandler handler) override {
    std::lock_guard lock(mutex_);
    waitHandler_ = std::move(handler);
  }

 private:
  enum class State { Waiting, Assigned, Done };
  struct Entry {
    explicit Entry(fs::path f) : file(std::move(f)) {}
    fs::path file;
    State state = State::Waiting;
    bool dropped = false;
    bool held = false;  // counted in heldCount_ and heldBytes_ with `cost`
    size_t cost = 0;
    mail::ImportResult result;
  };
  using EntryPtr = std::shared_ptr<Entry>;

  struct Reader {
    std::unique_ptr<ReaderProcess> process;  // started when first needed
    std::thread receiver;
    // With the lock held:
    std::deque<EntryPtr> assigned;  // sent to it, in order; the first is being read
    std::string endReason;          // why the pool's thread killed it
    bool ended = false;             // its receiver has given up its files and is done
    // When it began its first file, or last sent a byte of a reply.
    std::atomic<int64_t> progress{0};
  };

  // ---- with the lock held ----
  // The pool's thread may be busy (joining a receiver, with the lock given up) when woken: the
  // flag keeps the wake until it next waits.
  void wakePool() {
    poolWoken_ = true;
    poolWake_.notify_one();
  }
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
  bool roomFor(const EntryPtr& entry) const {
    return entry == queue_.front() || heldCount_ == 0 ||
           (heldCount_ < settings_.maxAhead && heldBytes_ < settings_.maxAheadBytes);
  }
  void settle(const EntryPtr& entry, mail::ImportResult result, size_t cost) {
    if (entry->dropped) return;  // its memory goes with the last reference
    entry->result = std::move(result);
    entry->state = State::Done;
    hold(*entry, cost + entry->file.native().size());
    resultReady_.notify_one();
  }
  mail::ImportResult refused(const std::string& reason) {
    mail::ImportResult result;
    result.reason = reason;
    return result;
  }
  // The reader's first file costs `reason`; the files behind it go to the next free reader.
  void giveUp(Reader& r, const std::string& reason) {
    if (!r.assigned.empty()) {
      settle(r.assigned.front(), refused(reason), 0);
      r.assigned.pop_front();
    }
    for (const EntryPtr& entry : r.assigned) {
      if (entry->dropped) continue;
      release(*entry);
      entry->state = State::Waiting;
    }
    r.assigned.clear();
  }
  void killReader(Reader& r, std::string reason) {
    if (!r.process || r.ended || !r.endReason.empty()) return;
    r.endReason = std::move(reason);
    r.process->kill();
  }

  // ---- on the pool's thread ----
  void run() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    std::unique_lock lock(mutex_);
    while (!quit_) {
      poolWoken_ = false;
      collectEnded(lock);
      if (abandon_) {
        abandon_ = false;
        for (auto& r : readers_)
          if (!r->assigned.empty()) killReader(*r, "abandoned");
      }
      dispatch();
      // The time limit, counted from the start of each reader's first file.
      const auto limit = std::chrono::duration_cast<Clock::duration>(settings_.fileTimeLimit);
      std::optional<Clock::time_point> next;
      for (auto& r : readers_) {
        if (r->assigned.empty() || !r->endReason.empty() || r->ended) continue;
        const Clock::time_point due = Clock::time_point(Clock::duration(r->progress.load())) + limit;
        if (Clock::now() >= due) {
          killReader(*r, std::string(kReasonPrefix) + "the reader took longer than " + secondsText(settings_.fileTimeLimit));
        } else if (!next || due < *next) {
          next = due;
        }
      }
      if (next) {
        poolWake_.wait_until(lock, *next, [this] { return poolWoken_; });
      } else {
        poolWake_.wait(lock, [this] { return poolWoken_; });
      }
    }
    for (auto& r : readers_) killReader(*r, "closing");
    lock.unlock();
    for (auto& r : readers_) {
      if (r->receiver.joinable()) r->receiver.join();
    }
    readers_.clear();  // every reader is waited for
  }

  // Joins the receivers that are done; their slots get a new reader when one is needed.
  void collectEnded(std::unique_lock<std::mutex>& lock) {
    for (auto& r : readers_) {
      if (!r->ended) continue;
      std::thread receiver = std::move(r->receiver);
      std::unique_ptr<ReaderProcess> process = std::move(r->process);
      r->ended = false;
      r->endReason.clear();
      lock.unlock();
      receiver.join();
      process.reset();
      lock.lock();
    }
  }

  // Sends waiting files to readers with room, in list order, as far as the bounds allow.
  void dispatch() {
    for (const EntryPtr& entry : queue_) {
      if (entry->state != State::Waiting) continue;
      if (!roomFor(entry)) break;
      if (entry->file.native().size() >= PATH_MAX) {
        // No file can be opened by such a name: the refusal needs no reader.
        settle(entry, mail::importMessageFile(entry->file), 0);
        continue;
      }
      Reader* target = nullptr;
      for (auto& r : readers_) {
        if (r->ended || !r->endReason.empty() || r->assigned.size() >= kRequestsPerReader) continue;
        if (!target || r->assigned.size() < target->assigned.size()) target = r.get();
      }
      if (!target) break;
      if (!target->process && !start(*target)) {
        settle(entry, refused(startFailure_), 0);
        continue;
      }
      entry->state = State::Assigned;
      hold(*entry, entry->file.native().size());
      if (target->assigned.empty()) target->progress.store(ticksNow());
      target->assigned.push_back(entry);
      // A reader that died before taking it shows its end to its receiver: given up there.
      if (!target->process->send(reader::requestFrame(entry->file.native()))) discardPendingBrokenPipe();
    }
  }

  bool start(Reader& r) {
    try {
      r.process = std::make_unique<ReaderProcess>(settings_.program, settings_.memoryCap);
    } catch (const std::system_error& e) {
      startFailure_ = std::string(kReasonPrefix) + "the reader could not be started (" + e.code().message() + ")";
      return false;
    }
    r.receiver = std::thread([this, &r] { receive(r); });
    return true;
  }

  // ---- on each reader's receiving thread ----
  void receive(Reader& r) {
    ReplyStream stream(r.process->replyDescriptor(), r.progress);
    std::string failure;
    try {
      for (;;) {
        uint8_t header[reader::kReplyHeaderSize];
        stream.read(header, sizeof header);
        const uint64_t length = reader::readLe64(header + 8);
        std::string error;
        std::optional<mail::ImportResult> result;
        if (reader::readLe32(header) == reader::kReplyMagic && reader::readLe32(header + 4) == 0 &&
            length <= settings_.memoryCap) {
          result = reader::decodeImportResult(stream, length, settings_.memoryCap, &error);
        }
        const size_t cost = result ? approximateSize(result->message) : 0;
        std::lock_guard lock(mutex_);
        if (!result || r.assigned.empty()) {
          failure = std::string(kReasonPrefix) + "the reader sent a reply that could not be understood";
          break;
        }
        settle(r.assigned.front(), std::move(*result), cost);
        r.assigned.pop_front();
        r.progress.store(ticksNow());  // it begins the next file
        wakePool();        // it has room for another
      }
    } catch (const ReaderGone&) {
    }
    int status = 0;
    bool killed;
    {
      std::lock_guard lock(mutex_);
      killed = !r.endReason.empty();
    }
    if (!failure.empty()) {
      r.process->kill();
    } else if (!killed) {
      status = r.process->waitForEnd();
    }
    std::lock_guard lock(mutex_);
    giveUp(r, !r.endReason.empty() ? r.endReason
                                   : !failure.empty() ? failure : readerEndReason(status, settings_.memoryCap));
    r.ended = true;
    wakePool();
  }

  const ReaderPoolSettings settings_;
  std::mutex mutex_;
  std::condition_variable resultReady_;  // the caller waits on it
  std::condition_variable poolWake_;     // the pool's thread waits on it
  std::deque<EntryPtr> queue_;           // announced and not yet taken, in order
  size_t heldCount_ = 0;                 // entries being read, or read and waiting in the queue
  size_t heldBytes_ = 0;
  bool quit_ = false;
  bool poolWoken_ = false;  // set with every wake of the pool's thread, cleared as it looks round
  bool abandon_ = false;  // kill the readers of abandoned files
  WaitHandler waitHandler_;
  std::string startFailure_;
  std::vector<std::unique_ptr<Reader>> readers_;
  // Last: it starts once everything above exists.
  std::thread thread_;
};

}  // namespace

std::unique_ptr<FileImporter> makeReaderPool(ReaderPoolSettings settings) {
  return std::make_unique<ReaderPool>(std::move(settings));
}

fs::path findReaderProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error(std::string("The message reader ") + reader::kProgramName +
                                   " cannot be found: the program's own folder is unknown (" + ec.message() + ").");
  const fs::path beside = self.parent_path() / reader::kProgramName;
  if (access(beside.c_str(), X_OK) == 0) return beside;
  const fs::path installed = (self.parent_path() / reader::kInstalledFolder).lexically_normal() / reader::kProgramName;
  if (access(installed.c_str(), X_OK) == 0) return installed;
  throw std::runtime_error(std::string("The message reader ") + reader::kProgramName + " is missing: it is neither in " +
                           self.parent_path().string() + " nor in " + installed.parent_path().string() +
                           ". Reinstall Vantorel.");
}

}  // namespace conversion
