// Progress of a run on standard error: a redrawn one-line bar on a terminal, a plain line
// every few seconds otherwise (and always for runs side by side, which cannot share a bar);
// each line is written whole, in one call. Ctrl+C, SIGTERM and SIGHUP ask the run to stop after the
// current message.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "conversion/engine.h"

namespace cli {

// "[#####-----]  120/1000  85 msg/s  0:10 left" (the bar only when `barWidth` > 0).
std::string ProgressLine(size_t done, size_t total, double elapsedSeconds, int barWidth);

class ProgressView : public conversion::RunView {
 public:
  // `label` (empty: none) goes before every line, to tell one run of several from the others.
  ProgressView(std::FILE* out, bool terminal, std::string label = {});
  void messageProgress(size_t done, size_t total) override;
  bool stopRequested() const override;
  // Lists the file on standard output at once, so that a run stopped at once by a second
  // signal has named every PST it completed.
  void pstCompleted(const std::filesystem::path& file) override;
  // Ends the bar's line.
  void finish();

  // Routes Ctrl+C, SIGTERM and SIGHUP to stopRequested(); a second one of them ends the program
  // at once with kStoppedAtOnce, removing the PST file being written.
  static void installInterruptHandler();
  // Whether a stop signal came, without announcing it: a mailbox not started yet is not started.
  static bool stopSignalled();
  // The exit status of a run stopped so: 128 + the first signal (kInterrupted for Ctrl+C).
  static int stoppedStatus();

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* out_;
  bool terminal_;
  std::string label_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastShown_{};
  bool barShown_ = false;
  mutable bool stopAnnounced_ = false;
};

}  // namespace cli
