#include "conversion/reader_pool.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
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

class ReaderPool final : public FileImporter {
 public:
  explicit ReaderPool(ReaderPoolSettings settings)
      : settings_(std::move(settings)), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot set up the message readers");
    readers_.resize(std::max<size_t>(1, settings_.readers));
    thread_ = std::thread([this] { run(); });
  }

  ~ReaderPool() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake();
    thread_.join();
    close(wakeFd_);
  }

  void expect(const fs::path& file) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::make_shared<Entry>(file));
    wake();
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
    wake();
    while (!resultReady_.wait_for(lock, kWaitSlice, [&] { return entry->state == State::Done; })) {
      if (!waitHandler_) continue;
      lock.unlock();
      const bool keepWaiting = waitHandler_();
      lock.lock();
      if (!keepWaiting && entry->state != State::Done) {
        dropFront(queue_.size());
        abandon_ = true;
        wake();
        throw ImportStopped();
      }
    }
    queue_.erase(std::find(queue_.begin(), queue_.end(), entry));
    release(*entry);
    wake();
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
    std::deque<EntryPtr> assigned;           // sent to it, in order; the first is being read
    Clock::time_point since;                 // when it began the first, or last sent a byte of it
  };

  // ---- with the lock held ----
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

  void wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
  }

  // ---- on the pool's thread ----
  void run() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (quit_) break;
      }
      dispatch();
      std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
      std::vector<Reader*> polled;
      int timeout = -1;
      const auto now = Clock::now();
      for (Reader& r : readers_) {
        if (!r.process) continue;
        fds.push_back({r.process->replyDescriptor(), POLLIN, 0});
        polled.push_back(&r);
        if (r.assigned.empty()) continue;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(r.since + settings_.fileTimeLimit - now).count();
        const int ms = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
      }
      if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
      if (fds[0].revents) {
        uint64_t count;
        [[maybe_unused]] const ssize_t n = read(wakeFd_, &count, sizeof count);
      }
      for (size_t i = 0; i < polled.size(); ++i) {
        if (fds[i + 1].revents) serve(*polled[i]);
      }
      const auto later = Clock::now();
      for (Reader& r : readers_) {
        if (!r.assigned.empty() && later >= r.since + settings_.fileTimeLimit)
          endReader(r, std::string(kReasonPrefix) + "the reader took longer than " + secondsText(settings_.fileTimeLimit));
      }
    }
    readers_.clear();  // every reader is killed, whatever it is doing
  }

  // Sends waiting files to readers with room, in list order, as far as the bounds allow.
  void dispatch() {
    std::vector<std::pair<Reader*, EntryPtr>> sends;
    {
      std::lock_guard lock(mutex_);
      if (abandon_) {
        abandon_ = false;
        for (Reader& r : readers_) {
          if (r.assigned.empty()) continue;
          r.process.reset();
          r.assigned.clear();
        }
      }
      for (const EntryPtr& entry : queue_) {
        if (entry->state != State::Waiting) continue;
        if (!roomFor(entry)) break;
        if (entry->file.native().size() >= PATH_MAX) {
          // No file can be opened by such a name: the refusal needs no reader.
          settle(entry, mail::importMessageFile(entry->file), 0);
          continue;
        }
        Reader* target = nullptr;
        for (Reader& r : readers_) {
          if (r.assigned.size() < kRequestsPerReader && (!target || r.assigned.size() < target->assigned.size()))
            target = &r;
        }
        if (!target) break;
        entry->state = State::Assigned;
        hold(*entry, entry->file.native().size());
        target->assigned.push_back(entry);
        sends.emplace_back(target, entry);
      }
    }
    for (auto& [r, entry] : sends) {
      if (!r->process) {
        try {
          r->process = std::make_unique<ReaderProcess>(settings_.program, settings_.memoryCap);
        } catch (const std::system_error& e) {
          failAll(*r, std::string(kReasonPrefix) + "the reader could not be started (" + e.code().message() + ")");
          continue;
        }
      }
      if (r->assigned.empty() || std::find(r->assigned.begin(), r->assigned.end(), entry) == r->assigned.end())
        continue;  // its reader failed meanwhile
      if (r->assigned.front() == entry) r->since = Clock::now();
      // A reader that died before taking it shows its end on the reply pipe: served there.
      if (!r->process->send(reader::requestFrame(entry->file.native()))) discardPendingBrokenPipe();
    }
  }

  // Takes the replies that have arrived.
  void serve(Reader& r) {
    for (;;) {
      switch (r.process->receive()) {
        case ReaderProcess::Received::Nothing:
          return;
        case ReaderProcess::Received::Partial:
          r.since = Clock::now();
          return;
        case ReaderProcess::Received::Complete: {
          r.since = Clock::now();
          std::string error;
          std::optional<mail::ImportResult> result =
              r.assigned.empty() ? std::nullopt
                                 : reader::decodeImportResult(r.process->payload(), settings_.memoryCap, &error);
          if (!result) {
            endReader(r, std::string(kReasonPrefix) + "the reader sent a reply that could not be understood");
            return;
          }
          const EntryPtr entry = r.assigned.front();
          r.assigned.pop_front();
          const size_t cost = approximateSize(result->message);
          std::lock_guard lock(mutex_);
          settle(entry, std::move(*result), cost);
          break;
        }
        case ReaderProcess::Received::Ended:
          endReader(r, readerEndReason(r.process->waitForEnd(), settings_.memoryCap));
          return;
        case ReaderProcess::Received::Malformed:
          endReader(r, std::string(kReasonPrefix) + "the reader sent a reply that could not be understood");
          return;
      }
    }
  }

  // The reader goes (killed if need be); the file it was reading costs `reason`, the files
  // waiting behind it go to the next free reader. A new reader starts when one is needed.
  void endReader(Reader& r, const std::string& reason) {
    r.process.reset();
    std::lock_guard lock(mutex_);
    if (!r.assigned.empty()) {
      mail::ImportResult refused;
      refused.reason = reason;
      settle(r.assigned.front(), std::move(refused), 0);
      r.assigned.pop_front();
    }
    for (const EntryPtr& entry : r.assigned) {
      if (entry->dropped) continue;
      release(*entry);
      entry->state = State::Waiting;
    }
    r.assigned.clear();
  }

  void failAll(Reader& r, const std::string& reason) {
    std::lock_guard lock(mutex_);
    for (const EntryPtr& entry : r.assigned) {
      mail::ImportResult refused;
      refused.reason = reason;
      settle(entry, std::move(refused), 0);
    }
    r.assigned.clear();
  }

  const ReaderPoolSettings settings_;
  std::mutex mutex_;
  std::condition_variable resultReady_;
  std::deque<EntryPtr> queue_;  // announced and not yet taken, in order
  size_t heldCount_ = 0;        // entries being read, or read and waiting in the queue
  size_t heldBytes_ = 0;
  bool quit_ = false;
  bool abandon_ = false;  // kill the readers of abandoned files
  WaitHandler waitHandler_;
  const int wakeFd_;
  std::vector<Reader> readers_;  // the pool's thread's alone
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
  const fs::path beside = self.parent_path() / reader::kProgramName;
  if (!ec && access(beside.c_str(), X_OK) == 0) return beside;
  const fs::path installed = fs::path(reader::kInstalledFolder) / reader::kProgramName;
  if (access(installed.c_str(), X_OK) == 0) return installed;
  throw std::runtime_error(std::string("The message reader ") + reader::kProgramName + " is missing: it is neither in " +
                           (ec ? std::string("the program's folder") : self.parent_path().string()) + " nor in " +
                           reader::kInstalledFolder + ". Reinstall Vantorel.");
}

}  // namespace conversion
