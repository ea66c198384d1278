// vantorel-convert: the conversion run from the command line.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/message_files.h"
#include "cli/progress_view.h"
#include "cli/skipped_report.h"
#include "cli/terminal_text.h"
#include "conversion/engine.h"

namespace {

using cli::EscapeControls;
using cli::kProgram;

class ListedFiles : public conversion::RowSource {
 public:
  explicit ListedFiles(const cli::PathList& files) : files_(files) {}
  size_t rows() const override { return files_.size(); }
  std::string text(size_t row) const override { return files_.at(row); }

 private:
  const cli::PathList& files_;
};

int fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return cli::kFailed;
}

int usageError(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n" << cli::TryHelpLine() << "\n";
  return cli::kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  const cli::Options options = cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) return usageError(options.error);
  if (options.help) {
    std::cout << cli::UsageText();
    return cli::kAllConverted;
  }
  if (options.version) {
    std::cout << kProgram << " " << VANTOREL_VERSION << "\n";
    return cli::kAllConverted;
  }
  // Every PATH is checked before anything is written: a typing error costs no empty PST.
  for (const std::string& path : options.paths) {
    const std::string problem = cli::UnusablePathProblem(path);
    if (!problem.empty()) return usageError("cannot convert '" + EscapeControls(path) + "': " + problem);
  }

  std::error_code ec;
  const std::filesystem::path output =
      options.outputFolder.empty() ? std::filesystem::current_path(ec) : options.outputFolder;
  if (!std::filesystem::is_directory(output, ec)) {
    return fail("the output folder " + EscapeControls(output.string()) +
                " does not exist or is not a folder; create it or choose another");
  }

  cli::CollectedFiles collected = cli::CollectMessageFiles(options.paths);
  if (collected.files.empty()) {
    cli::PrintSkipped(stderr, collected.skipped, {});
    return fail("no message files (*.msg) found; nothing to convert");
  }

  cli::SkippedListFile skippedList;
  std::string problem;
  if (!options.skippedList.empty() && !skippedList.open(options.skippedList, problem)) return fail(problem);
  std::cerr << kProgram << ": converting " << collected.files.size() << " file(s)\n";

  ListedFiles rows(collected.files);
  cli::ProgressView view(stderr, ::isatty(STDERR_FILENO) == 1);
  cli::ProgressView::installInterruptHandler();
  conversion::RunSettings settings;
  settings.outputFolder = output;
  settings.skippedWhenListed = std::move(collected.skipped);
  conversion::RunState state;
  const conversion::RunOutcome outcome = conversion::runConversion(rows, settings, view, state);
  view.finish();

  cli::PrintSkipped(stderr, outcome.skipped, options.skippedList);
  if (!skippedList.write(outcome.skipped, problem)) std::cerr << kProgram << ": " << problem << "\n";

  using Result = conversion::RunOutcome::Result;
  switch (outcome.result) {
    case Result::EmptyList:
      return fail("no message files listed; nothing to convert");
    case Result::PreparationFailed:
      return fail("the PST file could not be created: " + EscapeControls(outcome.failureCause));
    case Result::WriteFailed:
      return fail("the PST file could not be completed: " + EscapeControls(outcome.failureCause));
    case Result::Done:
      break;
  }
  std::cerr << kProgram << ": " << outcome.imported << " of " << outcome.listed << " file(s) converted";
  if (!outcome.skipped.empty()) std::cerr << ", " << outcome.skipped.size() << " skipped";
  if (outcome.stopped) std::cerr << ", stopped on request";
  std::cerr << "\n";
  std::cout << EscapeControls(outcome.pstPath.string()) << "\n";
  if (outcome.stopped) return cli::kInterrupted;
  return outcome.skipped.empty() ? cli::kAllConverted : cli::kSomeSkipped;
}
