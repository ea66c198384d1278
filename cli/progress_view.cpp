#include "cli/progress_view.h"

#include <atomic>
#include <mutex>
#include <cmath>
#include <csignal>

#include "cli/exit_status.h"
#include "cli/terminal_text.h"
#include "conversion/part_file.h"
#include "platform/console.h"
#include "platform/stop_requests.h"

namespace cli {

namespace {

// The first stop signal, 0 before one came. Read by every run converting at once (--jobs).
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "set in a signal handler");

// A terminal closed or a service stopped asks as Ctrl+C does: the PST is completed. A second
// signal means now: nothing more is written, and the file that would be left unfinished goes.
void onStopSignal(int signal) {
  int none = 0;
  if (interrupted.compare_exchange_strong(none, signal)) return;
  constexpr char kOne[] = "\nvantorel-convert: stopped at once; the PST file being written was removed\n";
  // Mailboxes converted side by side (--jobs) each had one.
  constexpr char kSeveral[] = "\nvantorel-convert: stopped at once; the PST files being written were removed\n";
  // The first stop may have completed the PST just before this one came.
  constexpr char kNone[] = "\nvantorel-convert: stopped at once; no PST file was being written\n";
  const int removed = conversion::PartFile::removeUnfinishedNow();
  if (removed == 0) {
    platform::writeErrorNow(kNone, sizeof kNone - 1);
  } else {
    platform::writeErrorNow(removed > 1 ? kSeveral : kOne, removed > 1 ? sizeof kSeveral - 1 : sizeof kOne - 1);
  }
  platform::endProgramNow(kStoppedAtOnce);
}

const char* signalName(int signal) {
  switch (signal) {
    case platform::kStopTerminate:
      return "SIGTERM";
    case platform::kStopHangUp:
      return "SIGHUP";
    default:
      return "Ctrl+C";
  }
}

std::string duration(double seconds) {
  const long total = std::lround(seconds);
  char buffer[32];
  if (total >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
  }
  return buffer;
}

constexpr auto kTerminalInterval = std::chrono::milliseconds(200);
constexpr auto kLogInterval = std::chrono::seconds(5);

}  // namespace

std::string ProgressLine(size_t done, size_t total, double elapsedSeconds, int barWidth) {
  std::string line;
  if (barWidth > 0) {
    const int filled = total ? static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * barWidth) : 0;
    line = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(barWidth - filled), '-') + "]  ";
  }
  line += std::to_string(done) + "/" + std::to_string(total) + " files";
  if (elapsedSeconds > 0 && done > 0) {
    const double rate = static_cast<double>(done) / elapsedSeconds;
    line += "  " + std::to_string(std::lround(rate)) + " msg/s";
    line += "  " + duration(static_cast<double>(total - std::min(done, total)) / rate) + " left";
  }
  return line;
}

ProgressView::ProgressView(std::FILE* out, bool terminal, std::string label)
    : out_(out), terminal_(terminal), label_(label.empty() ? std::string() : std::move(label) + ": ") {}

void ProgressView::messageProgress(size_t done, size_t total) {
  const auto now = Clock::now();
  const bool last = done == total;
  if (!last && now - lastShown_ < (terminal_ ? kTerminalInterval : kLogInterval)) return;
  lastShown_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  if (terminal_) {
    platform::writeText(out_, "\r" + label_ + ProgressLine(done, total, elapsed, 30) + "\033[K");
    barShown_ = true;
  } else {
    platform::writeText(out_, "vantorel-convert: " + label_ + ProgressLine(done, total, elapsed, 0) + "\n");
  }
  std::fflush(out_);
}

bool ProgressView::stopRequested() const {
  if (!interrupted) return false;
  if (!stopAnnounced_) {
    stopAnnounced_ = true;
    // The label tells which mailbox's PST is being completed, one line each when several are.
    platform::writeText(out_, std::string(barShown_ ? "\n" : "") + "vantorel-convert: " + label_ + "stopping on " +
                                  signalName(interrupted) +
                                  "; the PST file keeps everything converted so far (a second signal stops at once "
                                  "and removes the unfinished PST file)\n");
  }
  return true;
}

void ProgressView::finish() {
  if (barShown_) std::fprintf(out_, "\n");
  barShown_ = false;
  std::fflush(out_);
}

void ProgressView::installInterruptHandler() {
  // A signal the converter was started to ignore stays ignored: under nohup a closed terminal
  // must not stop the run.
  platform::installStopHandler(onStopSignal);
}

bool ProgressView::stopSignalled() { return interrupted != 0; }

int ProgressView::stoppedStatus() { return interrupted == 0 ? kInterrupted : 128 + interrupted; }

void ProgressView::pstCompleted(const std::filesystem::path& file) {
  // Runs side by side (--jobs) list theirs on the same output: each name is one whole line.
  static std::mutex stdoutLock;
  std::lock_guard lock(stdoutLock);
  platform::writeText(stdout, ShownPath(file.string()) + "\n");
  std::fflush(stdout);
}

}  // namespace cli
