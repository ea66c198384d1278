#include "conversion/reader_pool.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "conversion/reader_process.h"
#include "platform/path_text.h"
#include "platform/system_facts.h"
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
// A reader that cannot be started is tried again after these waits: a moment's shortage of
// processes or descriptors passes, a missing or broken reader program costs about a second.
constexpr std::chrono::milliseconds kStartRetryWaits[] = {std::chrono::milliseconds(100),
                                                          std::chrono::milliseconds(300),
                                                          std::chrono::milliseconds(600)};
constexpr int kStartTries = std::size(kStartRetryWaits) + 1;
// A reader sets itself up in milliseconds; one not ready after this never will be.
constexpr auto kLeastReadyTime = std::chrono::seconds(10);

std::string secondsText(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

int64_t ticksNow() { return Clock::now().time_since_epoch().count(); }

// The pool's thread starts the readers, sends them the files and enforces the time limit;
// one thread per reader takes its replies, decoding each straight from the pipe.
class ReaderPool final : public FileImporter {
 public:
  explicit ReaderPool(ReaderPoolSettings settings) : settings_(std::move(settings)) {
    for (size_t i = 0; i < std::max<size_t>(1, settings_.readers); ++i) {
      readers_.push_back(std::make_unique<Reader>());
      readers_.back()->slot = i;
    }
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
      throw ImporterUnavailable(noReaderText(startFailureText("cannot start a thread", e.code().value())));
    }
    // Nothing is written before a reader is known to run.
    std::unique_lock lock(mutex_);
    startSettled_.wait(lock, [this] { return anyReady_ || !noReaders_.empty(); });
    if (anyReady_) return;
    const std::string why = noReaders_;
    lock.unlock();
    shutDown();
    throw ImporterUnavailable(why);
  }

  ~ReaderPool() override { shutDown(); }

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
    size_t slot = 0;
    std::unique_ptr<ReaderProcess> process;
    std::thread receiver;
    // With the lock held:
    std::deque<EntryPtr> assigned;  // sent to it, in order; the first is being read
    std::string endReason;          // why the pool's thread killed it
    bool ended = false;             // its receiver has given up its files and is done
    bool ready = false;             // it sent its ready frame
    bool readyTimedOut = false;     // killed for not becoming ready in time
    int failedStarts = 0;           // in a row
    Clock::time_point retryAt{};    // of its next start after a failed one
    bool retired = false;           // it could not be started: the others take the files
    // When it began its first file, or last sent a byte of a reply.
    std::atomic<int64_t> progress{0};
  };

  void shutDown() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      wakePool();
    }
    if (thread_.joinable()) thread_.join();
  }

  static std::string noReaderText(const std::string& cause) { return "no message reader could be started: " + cause; }

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
    requeue(r);
  }
  // A reader that never became ready read nothing: all its files go to the next free reader.
  void requeue(Reader& r) {
    for (const EntryPtr& entry : r.assigned) {
      if (entry->dropped) continue;
      release(*entry);
      entry->state = State::Waiting;
    }
    r.assigned.clear();
  }
  // Another try a little later, or none: when no reader is left, the files waiting and still
  // to come are refused with the cause (the pool's first start reports it instead).
  void startFailed(Reader& r, const std::string& why) {
    if (++r.failedStarts < kStartTries) {
      r.retryAt = Clock::now() + kStartRetryWaits[r.failedStarts - 1];
      return;
    }
    r.retired = true;
    if (std::all_of(readers_.begin(), readers_.end(), [](const auto& other) { return other->retired; })) {
      noReaders_ = noReaderText(why);
      startSettled_.notify_all();
    }
  }
  std::string programEndText(platform::ProcessEnd end) const {
    const std::string named = "the reader program " + settings_.program.string();
    if (end.signaled) return named + " stopped with signal " + std::to_string(end.code) + " as it started";
    return named + " ended as it started, with exit status " + std::to_string(end.code);
  }
  void killReader(Reader& r, std::string reason) {
    if (!r.process || r.ended || !r.endReason.empty()) return;
    r.endReason = std::move(reason);
    r.process->kill();
  }

  // ---- on the pool's thread ----
  void run() {
    platform::shieldThreadFromBrokenPipes();
    std::unique_lock lock(mutex_);
    while (!quit_) {
      poolWoken_ = false;
      collectEnded(lock);
      if (abandon_) {
        abandon_ = false;
        for (auto& r : readers_)
          if (!r->assigned.empty()) killReader(*r, "abandoned");
      }
      startReaders();
      dispatch();
      // The time limit, counted from the start of each reader's first file, and the time a
      // new reader has to become ready.
      const auto limit = std::chrono::duration_cast<Clock::duration>(settings_.fileTimeLimit);
      const auto readyLimit = std::max<Clock::duration>(limit, kLeastReadyTime);
      std::optional<Clock::time_point> next;
      const auto wakeAt = [&](Clock::time_point due) {
        if (!next || due < *next) next = due;
      };
      for (auto& r : readers_) {
        if (!r->process) {
          if (!r->retired) wakeAt(r->retryAt);
          continue;
        }
        if ((r->ready && r->assigned.empty()) || !r->endReason.empty() || r->ended) continue;
        const Clock::time_point due =
            Clock::time_point(Clock::duration(r->progress.load())) + (r->ready ? limit : readyLimit);
        if (Clock::now() < due) {
          wakeAt(due);
        } else if (r->ready) {
          killReader(*r, std::string(kReasonPrefix) + "the reader took longer than " + secondsText(settings_.fileTimeLimit));
        } else {
          r->readyTimedOut = true;
          killReader(*r, "the reader program " + settings_.program.string() + " did not become ready within " +
                             secondsText(std::chrono::duration_cast<std::chrono::milliseconds>(readyLimit)));
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

  // Every slot without a reader gets one, unless it waits for its next try or was given up.
  void startReaders() {
    const auto now = Clock::now();
    for (auto& r : readers_) {
      if (!r->process && !r->retired && !r->ended && now >= r->retryAt) start(*r);
    }
  }

  // Sends waiting files to readers with room, in list order, as far as the bounds allow.
  void dispatch() {
    for (const EntryPtr& entry : queue_) {
      if (entry->state != State::Waiting) continue;
      if (!roomFor(entry)) break;
      if (entry->file.native().size() >= platform::kMaxPathUnits) {
        // No file can be opened by such a name: the refusal needs no reader.
        settle(entry, mail::importMessageFile(entry->file), 0);
        continue;
      }
      if (!noReaders_.empty()) {
        settle(entry, refused(kReasonPrefix + noReaders_), 0);
        continue;
      }
      Reader* target = nullptr;
      for (auto& r : readers_) {
        if (!r->process || r->ended || !r->endReason.empty() || r->assigned.size() >= kRequestsPerReader) continue;
        if (!target || r->assigned.size() < target->assigned.size()) target = r.get();
      }
      if (!target) break;
      entry->state = State::Assigned;
      hold(*entry, entry->file.native().size());
      if (target->assigned.empty()) target->progress.store(ticksNow());
      target->assigned.push_back(entry);
      // A reader that died before taking it shows its end to its receiver: given up there.
      target->process->send(reader::requestFrame(platform::pathText(entry->file)));
    }
  }

  int startFault(const Reader& r, bool thread) const {
    return settings_.startFault ? settings_.startFault(r.slot, thread) : 0;
  }

  // A failure, of the process or of its receiving thread, is one failed try.
  void start(Reader& r) {
    try {
      r.process = std::make_unique<ReaderProcess>(settings_.program, settings_.memoryCap, settings_.digests,
                                                  startFault(r, false));
    } catch (const ReaderStartError& e) {
      startFailed(r, e.what());
      return;
    }
    r.ready = false;
    r.readyTimedOut = false;
    r.progress.store(ticksNow());
    try {
      if (const int fault = startFault(r, true)) throw std::system_error(fault, std::generic_category());
      r.receiver = std::thread([this, &r] { receive(r); });
    } catch (const std::system_error& e) {
      r.process.reset();  // killed and waited for
      startFailed(r, startFailureText("cannot start a thread", e.code().value()));
    }
  }

  // ---- on each reader's receiving thread ----
  void receive(Reader& r) {
    ReplyStream stream(r.process->replyDescriptor(), r.progress);
    std::string failure;
    try {
      uint8_t ready[reader::kReplyHeaderSize];
      stream.read(ready, sizeof ready);
      if (reader::readLe32(ready) != reader::kReadyMagic) {
        failure = "the reader program " + settings_.program.string() + " does not answer as the message reader does";
      } else {
        std::lock_guard lock(mutex_);
        r.ready = true;
        r.failedStarts = 0;
        anyReady_ = true;
        startSettled_.notify_all();
        wakePool();  // its files' time limit replaces the wait for it to become ready
      }
      while (failure.empty()) {
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
    platform::ProcessEnd status;
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
    if (!r.ready && (!killed || r.readyTimedOut)) {
      // It never came to read: no file is charged, and the start counts as failed.
      requeue(r);
      startFailed(r, r.readyTimedOut ? r.endReason : !failure.empty() ? failure : programEndText(status));
    } else {
      giveUp(r, !r.endReason.empty() ? r.endReason
                                     : !failure.empty() ? failure : readerEndReason(status, settings_.memoryCap));
    }
    r.ended = true;
    wakePool();
  }

  const ReaderPoolSettings settings_;
  std::mutex mutex_;
  std::condition_variable resultReady_;  // the caller waits on it
  std::condition_variable poolWake_;     // the pool's thread waits on it
  std::condition_variable startSettled_;  // the constructor waits on it for a ready reader
  std::deque<EntryPtr> queue_;           // announced and not yet taken, in order
  size_t heldCount_ = 0;                 // entries being read, or read and waiting in the queue
  size_t heldBytes_ = 0;
  bool quit_ = false;
  bool poolWoken_ = false;  // set with every wake of the pool's thread, cleared as it looks round
  bool abandon_ = false;  // kill the readers of abandoned files
  WaitHandler waitHandler_;
  bool anyReady_ = false;   // a reader became ready at least once
  std::string noReaders_;   // why none can be started, once every slot was given up
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
  const fs::path self = platform::runningProgram(ec);
  if (ec) throw ImporterUnavailable(std::string("the message reader ") + reader::kProgramName +
                                    " cannot be found: the program's own folder is unknown (" + ec.message() + ")");
  const std::string name = std::string(reader::kProgramName) + platform::kProgramSuffix;
  const fs::path beside = self.parent_path() / name;
  const fs::path installed = (self.parent_path() / reader::kInstalledFolder).lexically_normal() / name;
  for (const fs::path& candidate : {beside, installed}) {
    if (platform::runnableProblem(candidate) == 0) return candidate;
  }
  // One that is there but cannot be run is named with the system's reason, not as missing.
  for (const fs::path& candidate : {beside, installed}) {
    if (!fs::exists(candidate, ec)) continue;
    const int error = platform::runnableProblem(candidate);
    throw ImporterUnavailable("the reader program " + candidate.string() + " is not executable: " +
                              std::strerror(error ? error : EACCES));
  }
  throw ImporterUnavailable(std::string("the message reader ") + reader::kProgramName + " is missing: it is neither in " +
                            self.parent_path().string() + " nor in " + installed.parent_path().string());
}

}  // namespace conversion
