// vantorel-convert: the conversion run from the command line.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/message_files.h"
#include "cli/progress_view.h"
#include "conversion/engine.h"

namespace {

constexpr int kAllConverted = 0;
constexpr int kSomeSkipped = 1;
constexpr int kFailed = 2;

class ListedFiles : public conversion::RowSource {
 public:
  explicit ListedFiles(const cli::PathList& files) : files_(files) {}
  size_t rows() const override { return files_.size(); }
  std::string text(size_t row) const override { return files_.at(row); }

 private:
  const cli::PathList& files_;
};

int fail(const std::string& message) {
  std::cerr << "vantorel-convert: " << message << "\n";
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  const cli::Options options = cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) {
    std::cerr << "vantorel-convert: " << options.error << "\n" << cli::UsageText("vantorel-convert");
    return kFailed;
  }
  if (options.help) {
    std::cout << cli::UsageText("vantorel-convert");
    return kAllConverted;
  }
  if (options.version) {
    std::cout << "vantorel-convert " << VANTOREL_VERSION << "\n";
    return kAllConverted;
  }

  std::error_code ec;
  const std::filesystem::path output =
      options.outputFolder.empty() ? std::filesystem::current_path(ec) : options.outputFolder;
  if (!std::filesystem::is_directory(output, ec)) {
    return fail("the output folder " + output.string() + " does not exist or is not a folder; create it or choose another");
  }

  cli::CollectedFiles collected = cli::CollectMessageFiles(options.paths);
  if (collected.files.empty()) {
    for (const auto& entry : collected.skipped) {
      std::cerr << "vantorel-convert: skipped " << entry.path << ": " << entry.reason << "\n";
    }
    return fail("no message files (*.msg) found; nothing to convert");
  }
  std::cerr << "vantorel-convert: converting " << collected.files.size() << " file(s)\n";

  ListedFiles rows(collected.files);
  cli::ProgressView view(stderr, ::isatty(STDERR_FILENO) == 1);
  cli::ProgressView::installInterruptHandler();
  conversion::RunSettings settings;
  settings.outputFolder = output;
  settings.skippedWhenListed = std::move(collected.skipped);
  conversion::RunState state;
  const conversion::RunOutcome outcome = conversion::runConversion(rows, settings, view, state);
  view.finish();

  using Result = conversion::RunOutcome::Result;
  switch (outcome.result) {
    case Result::EmptyList:
      return fail("no message files listed; nothing to convert");
    case Result::PreparationFailed:
      return fail("the PST file could not be created: " + outcome.failureCause);
    case Result::WriteFailed:
      return fail("the PST file could not be completed: " + outcome.failureCause);
    case Result::Done:
      break;
  }
  for (const auto& entry : outcome.skipped) {
    std::cerr << "vantorel-convert: skipped " << entry.path << ": " << entry.reason << "\n";
  }
  std::cerr << "vantorel-convert: " << outcome.imported << " of " << outcome.listed << " file(s) converted";
  if (!outcome.skipped.empty()) std::cerr << ", " << outcome.skipped.size() << " skipped";
  if (outcome.stopped) std::cerr << ", stopped on request";
  std::cerr << "\n";
  std::cout << outcome.pstPath.string() << "\n";
  return outcome.skipped.empty() && !outcome.stopped ? kAllConverted : kSomeSkipped;
}
