// vantorel-convert: the conversion run from the command line.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/mailbox_groups.h"
#include "cli/mailbox_links.h"
#include "cli/message_files.h"
#include "cli/progress_view.h"
#include "cli/server_status.h"
#include "cli/skipped_report.h"
#include "cli/summary_table.h"
#include "cli/terminal_text.h"
#include "conversion/engine.h"
#include "platform/console.h"

namespace {

using cli::EscapeControls;
using cli::kProgram;

// The rows of one run: every listed file, or those of one mailbox.
class ListedFiles : public conversion::RowSource {
 public:
  ListedFiles(const cli::PathList& files, const std::vector<uint32_t>* subset = nullptr)
      : files_(files), subset_(subset) {}
  size_t rows() const override { return subset_ ? subset_->size() : files_.size(); }
  std::string text(size_t row) const override { return files_.at(subset_ ? subset_->at(row) : row); }

 private:
  const cli::PathList& files_;
  const std::vector<uint32_t>* subset_;
};

int fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return cli::kFailed;
}

int usageError(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n" << cli::TryHelpLine() << "\n";
  return cli::kFailed;
}

void warn(const std::string& message) { std::cerr << kProgram << ": warning: " << EscapeControls(message) << "\n"; }

// What every run shares: the settings from the command line and what the runs report.
struct Runs {
  const cli::Options& options;
  std::filesystem::path output;
  std::unique_ptr<cli::ServerStatus> status;
  std::vector<conversion::SkippedEntry> skipped;  // of every run, for --skipped-list
  std::vector<cli::SummaryRow> summary;
  bool failed = false, stopped = false;
  std::string readersFailed;  // why no reader could start: the mailboxes after it are not tried

  conversion::RunSettings settings(std::vector<conversion::SkippedEntry> listingSkips) const {
    conversion::RunSettings s;
    s.outputFolder = output;
    s.skippedWhenListed = std::move(listingSkips);
    s.maxPstSize = options.maxSize;
    // A stop names every file it left, so that the summary adds up.
    s.accountForStop = true;
    if (status) s.messageStatus = [this](const std::string& file) { return status->of(file); };
    return s;
  }

  // One run over `rows`; `label` names it in the progress and the summary (empty: the only run).
  void convert(const conversion::RowSource& rows, const conversion::RunSettings& settings, const std::string& label) {
    std::cerr << kProgram << ": " << (label.empty() ? "" : EscapeControls(label) + ": ") << "converting "
              << rows.rows() << " file(s)\n";
    cli::ProgressView view(stderr, platform::isTerminal(stderr), EscapeControls(label));
    conversion::RunState state;
    conversion::RunOutcome outcome = conversion::runConversion(rows, settings, view, state);
    view.finish();
    // A mailbox whose PST cannot be made (a full disk), or whose messages no reader can read,
    // costs its own files, which are named.
    using Result = conversion::RunOutcome::Result;
    if ((outcome.result == Result::PreparationFailed || outcome.result == Result::ReadersFailed) && !label.empty()) {
      const std::string reason = outcome.result == Result::PreparationFailed
                                     ? "not converted: its PST file could not be created (" + outcome.failureCause + ")"
                                     : "not converted: " + outcome.failureCause;
      for (size_t r = 0; r < rows.rows(); ++r) outcome.skipped.push_back({rows.text(r), reason});
    }
    if (outcome.result == Result::ReadersFailed) readersFailed = outcome.failureCause;

    cli::PrintSkipped(stderr, outcome.skipped, options.skippedList);
    skipped.insert(skipped.end(), outcome.skipped.begin(), outcome.skipped.end());
    if (status) {
      for (const std::string& warning : status->takeWarnings()) warn(warning);
    }
    for (const std::string& warning : outcome.warnings) warn(warning);

    // Files the scan could not list are files all the same: with them the counts add up.
    const size_t listedFolders = conversion::skippedFolderCount(settings.skippedWhenListed);
    const size_t files = outcome.listed + settings.skippedWhenListed.size() - listedFolders;
    const size_t skippedFolders = conversion::skippedFolderCount(outcome.skipped);
    std::string problem;
    switch (outcome.result) {
      case Result::EmptyList:
        problem = "no message files listed; nothing to convert";
        break;
      case Result::PreparationFailed:
        problem = "the PST file could not be created: " + outcome.failureCause;
        break;
      case Result::WriteFailed:
        problem = "the PST file could not be completed: " + outcome.failureCause;
        break;
      case Result::ReadersFailed:
        problem = outcome.failureCause + "; nothing was converted and no PST file was made";
        break;
      case Result::Done:
        break;
    }
    if (!problem.empty()) {
      failed = true;
      std::cerr << kProgram << ": " << (label.empty() ? "" : EscapeControls(label) + ": ") << EscapeControls(problem)
                << "\n";
    }
    if (outcome.result == Result::Done || outcome.result == Result::WriteFailed) {
      std::cerr << kProgram << ": " << (label.empty() ? "" : EscapeControls(label) + ": ") << outcome.imported
                << " of " << files << " file(s) converted";
      if (outcome.skipped.size() > skippedFolders) std::cerr << ", " << outcome.skipped.size() - skippedFolders << " skipped";
      if (skippedFolders > 0) std::cerr << ", " << skippedFolders << " folder(s) not read";
      if (status) std::cerr << ", " << outcome.markedDeleted << " marked deleted on the server";
      if (outcome.pstParts.size() > 1) std::cerr << ", in " << outcome.pstParts.size() << " parts";
      if (outcome.stopped) std::cerr << ", stopped on request";
      std::cerr << "\n";
    }
    stopped = stopped || outcome.stopped;
    if (problem.empty() && outcome.pstParts.empty() && outcome.stopped) problem = "stopped before its first message";
    summary.push_back(cli::SummaryRow{label, outcome.imported, outcome.skipped.size(), outcome.pstParts, problem});
  }

  // A mailbox the run ended before: every file of it is named, and its row says so.
  void notStarted(const conversion::RowSource& rows, std::vector<conversion::SkippedEntry> listingSkips,
                  const std::string& label, std::vector<conversion::SkippedEntry>& named) {
    const std::string reason =
        readersFailed.empty() ? "not converted: the run was stopped" : "not converted: " + readersFailed;
    for (size_t r = 0; r < rows.rows(); ++r) listingSkips.push_back({rows.text(r), reason});
    summary.push_back(cli::SummaryRow{label, 0, listingSkips.size(), {}, {}, false});
    named.insert(named.end(), listingSkips.begin(), listingSkips.end());
  }

  int exitStatus() const {
    if (failed) return cli::kFailed;
    if (stopped) return cli::ProgressView::stoppedStatus();
    return skipped.empty() ? cli::kAllConverted : cli::kSomeSkipped;
  }
};

// --per-mailbox: one run for each mailbox, and one for each other top folder with messages.
void convertPerMailbox(Runs& runs, const conversion::StoreLayout& layout, cli::CollectedFiles& collected) {
  std::vector<cli::MailboxGroup> groups = cli::GroupByMailbox(collected.files, layout);
  // What the scan could not list is reported with the mailbox it lies in; what lies in none
  // that is converted (a mailbox folder that could not be read at all) before the first. A
  // shard reports only its own mailboxes' skips, and the first shard those of no mailbox.
  std::map<std::string, std::vector<conversion::SkippedEntry>> listingSkips;  // by the group's folder
  for (const cli::MailboxGroup& group : groups) listingSkips[group.folder];
  std::vector<conversion::SkippedEntry> elsewhere;
  for (conversion::SkippedEntry& entry : collected.skipped) {
    const auto place = conversion::PlaceOf(layout, std::filesystem::path(entry.path));
    const auto found = place ? listingSkips.find(place->folder) : listingSkips.end();
    (found != listingSkips.end() ? found->second : elsewhere).push_back(std::move(entry));
  }
  if (runs.options.shards != 0) {
    groups = cli::ShardOf(std::move(groups), runs.options.shard, runs.options.shards);
    if (runs.options.shard != 1) elsewhere.clear();
    if (groups.empty())
      std::cerr << kProgram << ": shard " << runs.options.shard << "/" << runs.options.shards
                << " holds no mailbox: the store has fewer mailboxes and top folders than shards\n";
  }
  if (!elsewhere.empty()) {
    cli::PrintSkipped(stderr, elsewhere, runs.options.skippedList);
    runs.skipped.insert(runs.skipped.end(), elsewhere.begin(), elsewhere.end());
  }
  std::vector<conversion::SkippedEntry> notStarted;
  for (const cli::MailboxGroup& group : groups) {
    const ListedFiles rows(collected.files, &group.rows);
    if (runs.stopped || !runs.readersFailed.empty()) {
      runs.notStarted(rows, std::move(listingSkips[group.folder]), group.store, notStarted);
      continue;
    }
    conversion::RunSettings settings = runs.settings(std::move(listingSkips[group.folder]));
    settings.pstName = group.store;
    settings.storeDisplayName = group.store;
    settings.folderPathOf = [&layout](std::string_view entry, std::string* reason) -> std::optional<std::string> {
      const auto place = conversion::PlaceOf(layout, std::filesystem::path(entry));
      if (!place && reason) *reason = "it lies outside the server's store";
      return place ? std::optional<std::string>(place->folderPath) : std::nullopt;
    };
    runs.convert(rows, settings, group.store);
  }
  if (!notStarted.empty()) {
    cli::PrintSkipped(stderr, notStarted, runs.options.skippedList);
    runs.skipped.insert(runs.skipped.end(), notStarted.begin(), notStarted.end());
  }
  cli::PrintSummary(stderr, runs.summary);
}

}  // namespace

int main(int argc, char** argv) {
  platform::prepareConsole();
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
  std::optional<conversion::StoreLayout> layout;
  if (options.shards != 0 && !options.perMailbox) return usageError("'--shard' slices mailboxes: give it with '--per-mailbox'");
  if (options.perMailbox) {
    if (options.paths.size() != 1) {
      return usageError("'--per-mailbox' takes one PATH: the server's store, its Users folder or a domain folder");
    }
    std::string why;
    layout = conversion::DetectStoreLayout(options.paths.front(), &why);
    if (!layout) return usageError("cannot convert per mailbox: " + EscapeControls(why));
  }

  std::error_code ec;
  const std::filesystem::path output =
      options.outputFolder.empty() ? std::filesystem::current_path(ec) : options.outputFolder;
  if (!std::filesystem::is_directory(output, ec)) {
    return fail("the output folder " + EscapeControls(output.string()) +
                " does not exist or is not a folder; create it or choose another");
  }

  // A mailbox or domain folder that is a link is scanned as well, or named as not converted.
  cli::MailboxLinks links;
  if (layout) links = cli::FindMailboxLinks(*layout);
  std::vector<std::string> scanned = options.paths;
  scanned.insert(scanned.end(), links.followed.begin(), links.followed.end());
  cli::CollectedFiles collected = cli::CollectMessageFiles(scanned);
  collected.skipped.insert(collected.skipped.end(), links.refused.begin(), links.refused.end());
  if (collected.files.empty()) {
    cli::PrintSkipped(stderr, collected.skipped, {});
    return fail("no message files (*.msg) found; nothing to convert");
  }

  cli::SkippedListFile skippedList;
  std::string problem;
  if (!options.skippedList.empty() && !skippedList.open(options.skippedList, problem)) return fail(problem);

  cli::ProgressView::installInterruptHandler();
  // An IMAP.MRK that is a link is followed only into what is being converted.
  const std::vector<std::filesystem::path> stores(options.paths.begin(), options.paths.end());
  Runs runs{options, output, options.keepStatus ? std::make_unique<cli::ServerStatus>(stores) : nullptr, {}, {}, false,
            false, {}};
  if (layout) {
    convertPerMailbox(runs, *layout, collected);
  } else {
    const ListedFiles rows(collected.files);
    runs.convert(rows, runs.settings(std::move(collected.skipped)), {});
  }
  if (!skippedList.write(runs.skipped, problem)) std::cerr << kProgram << ": " << problem << "\n";
  return runs.exitStatus();
}
