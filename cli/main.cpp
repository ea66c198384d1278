// vantorel-convert: the conversion run from the command line.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/ledger_run.h"
#include "cli/mailbox_groups.h"
#include "cli/mailbox_jobs.h"
#include "cli/mailbox_links.h"
#include "cli/message_files.h"
#include "cli/progress_view.h"
#include "cli/server_status.h"
#include "cli/skipped_report.h"
#include "cli/summary_table.h"
#include "cli/terminal_text.h"
#include "conversion/engine.h"
#include "platform/console.h"
#include "platform/file_status.h"
#include "platform/path_text.h"

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

// What one run has to tell: made on the thread that ran it and told at once under the report
// lock, so that runs side by side (--jobs) neither mix their lines nor race for the totals.
struct RunReport {
  std::string text;  // its lines for standard error after the progress, whole
  cli::SummaryRow row;
  std::vector<conversion::SkippedEntry> skipped;
  bool failed = false, stopped = false;
  std::string readersFailed;  // why no reader could start
};

// What every run shares: the settings from the command line and what the runs report.
struct Runs {
  Runs(const cli::Options& o, std::filesystem::path out, std::vector<std::filesystem::path> paths)
      : options(o), output(std::move(out)), stores(std::move(paths)) {}

  const cli::Options& options;
  std::filesystem::path output;
  std::vector<std::filesystem::path> stores;  // the paths converted: IMAP.MRK links are followed only into them
  bool sideBySide = false;  // more than one run at a time: plain progress lines, each named
  std::mutex reportLock;    // over standard error's run reports and everything below
  std::vector<conversion::SkippedEntry> skipped;  // of every run, for --skipped-list
  std::vector<cli::SummaryRow> summary;
  bool failed = false, stopped = false;
  std::string readersFailed;  // why no reader could start: the mailboxes after it are not tried
  cli::LedgerRun* ledger = nullptr;  // --ledger

  conversion::RunSettings settings(std::vector<conversion::SkippedEntry> listingSkips) const {
    conversion::RunSettings s;
    s.outputFolder = output;
    s.skippedWhenListed = std::move(listingSkips);
    s.maxPstSize = options.maxSize;
    // A stop names every file it left, so that the summary adds up.
    s.accountForStop = true;
    return s;
  }

  // One run over `rows`; `label` names it in the progress and the summary (empty: the only run).
  // Touches nothing shared but the output streams, each line written whole.
  RunReport convert(const conversion::RowSource& rows, conversion::RunSettings settings,
                    const std::string& label) const {
    const std::string prefix = label.empty() ? "" : EscapeControls(label) + ": ";
    const std::string starting = std::string(kProgram) + ": " + prefix + "converting " + std::to_string(rows.rows()) +
                                 " file(s)\n";
    platform::writeText(stderr, starting);
    // Each run reads its folders' indexes itself: the reader keeps the last one, for one run only.
    std::unique_ptr<cli::ServerStatus> status;
    if (options.keepStatus) status = std::make_unique<cli::ServerStatus>(stores);
    if (status) settings.messageStatus = [&status](const std::string& file) { return status->of(file); };
    // After the state: the ledger records each file's state with it.
    if (ledger) ledger->attach(settings);
    cli::ProgressView view(stderr, !sideBySide && platform::isTerminal(stderr), EscapeControls(label));
    conversion::RunState state;
    conversion::RunOutcome outcome = conversion::runConversion(rows, settings, view, state);
    view.finish();
    RunReport report;
    // A mailbox whose PST cannot be made (a full disk), or whose messages no reader can read,
    // costs its own files, which are named.
    using Result = conversion::RunOutcome::Result;
    if ((outcome.result == Result::PreparationFailed || outcome.result == Result::ReadersFailed) && !label.empty()) {
      const std::string reason = outcome.result == Result::PreparationFailed
                                     ? "not converted: its PST file could not be created (" + outcome.failureCause + ")"
                                     : "not converted: " + outcome.failureCause;
      for (size_t r = 0; r < rows.rows(); ++r) outcome.skipped.push_back({rows.text(r), reason});
    }
    if (outcome.result == Result::ReadersFailed) report.readersFailed = outcome.failureCause;

    std::ostringstream text;
    text << cli::SkippedText(outcome.skipped, options.skippedList);
    if (status) {
      for (const std::string& warning : status->takeWarnings())
        text << kProgram << ": warning: " << EscapeControls(warning) << "\n";
    }
    for (const std::string& warning : outcome.warnings)
      text << kProgram << ": warning: " << EscapeControls(warning) << "\n";

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
      report.failed = true;
      text << kProgram << ": " << prefix << EscapeControls(problem) << "\n";
    }
    if (outcome.result == Result::Done || outcome.result == Result::WriteFailed) {
      text << kProgram << ": " << prefix << outcome.imported << " of " << files << " file(s) converted";
      if (outcome.skipped.size() > skippedFolders)
        text << ", " << outcome.skipped.size() - skippedFolders << " skipped";
      if (skippedFolders > 0) text << ", " << skippedFolders << " folder(s) not read";
      if (status) text << ", " << outcome.markedDeleted << " marked deleted on the server";
      if (outcome.pstParts.size() > 1) text << ", in " << outcome.pstParts.size() << " parts";
      if (outcome.stopped) text << ", stopped on request";
      text << "\n";
    }
    report.stopped = outcome.stopped;
    if (problem.empty() && outcome.pstParts.empty() && outcome.stopped) problem = "stopped before its first message";
    report.row = cli::SummaryRow{label, outcome.imported, outcome.skipped.size(), outcome.pstParts, problem};
    report.text = text.str();
    report.skipped = std::move(outcome.skipped);
    return report;
  }

  // Tells a run's lines and adds it to the totals; its skipped entries and row stay with the
  // caller, which keeps them in mailbox order.
  void record(const RunReport& report) {
    std::lock_guard lock(reportLock);
    platform::writeText(stderr, report.text);
    failed = failed || report.failed;
    stopped = stopped || report.stopped;
    if (readersFailed.empty()) readersFailed = report.readersFailed;
  }

  // Why a mailbox is not to be started: the run was stopped, or readers could not start. Empty: start it.
  std::string notToStart() {
    std::lock_guard lock(reportLock);
    if (!readersFailed.empty()) return "not converted: " + readersFailed;
    if (stopped || cli::ProgressView::stopSignalled()) return "not converted: the run was stopped";
    return {};
  }

  // A mailbox the run ended before: every file of it is named, and its row says so.
  static RunReport notStarted(const conversion::RowSource& rows, std::vector<conversion::SkippedEntry> listingSkips,
                              const std::string& label, const std::string& reason) {
    for (size_t r = 0; r < rows.rows(); ++r) listingSkips.push_back({rows.text(r), reason});
    RunReport report;
    report.row = cli::SummaryRow{label, 0, listingSkips.size(), {}, {}, false};
    report.skipped = std::move(listingSkips);
    return report;
  }

  int exitStatus() const {
    if (failed) return cli::kFailed;
    if (stopped) return cli::ProgressView::stoppedStatus();
    return skipped.empty() ? cli::kAllConverted : cli::kSomeSkipped;
  }
};

// --per-mailbox: one run for each mailbox, and one for each other top folder with messages;
// --jobs of them at a time.
void convertPerMailbox(Runs& runs, const conversion::StoreLayout& layout, cli::CollectedFiles& collected) {
  std::vector<cli::MailboxGroup> groups = cli::GroupByMailbox(collected.files, layout);
  // What the scan could not list is reported with the mailbox it lies in; what lies in none
  // that is converted (a mailbox folder that could not be read at all) before the first. A
  // shard reports only its own mailboxes' skips, and the first shard those of no mailbox.
  std::map<std::string, std::vector<conversion::SkippedEntry>> listingSkips;  // by the group's folder
  for (const cli::MailboxGroup& group : groups) listingSkips[group.folder];
  std::vector<conversion::SkippedEntry> elsewhere;
  for (conversion::SkippedEntry& entry : collected.skipped) {
    const auto place = conversion::PlaceOf(layout, platform::pathFromText(entry.path));
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
  if (runs.ledger) runs.ledger->selectGroups(groups, collected.files, listingSkips, elsewhere);
  if (!elsewhere.empty()) {
    cli::PrintSkipped(stderr, elsewhere, runs.options.skippedList);
    runs.skipped.insert(runs.skipped.end(), elsewhere.begin(), elsewhere.end());
  }
  // Each mailbox's report has its place by the mailbox's index: whichever ends first, the
  // table and the skipped list keep the order of a run of one at a time.
  std::vector<RunReport> reports(groups.size());
  for (size_t i = 0; i < groups.size(); ++i) reports[i].skipped = std::move(listingSkips[groups[i].folder]);
  const unsigned jobs = runs.options.jobs != 0 ? runs.options.jobs : cli::DefaultJobs();
  runs.sideBySide = jobs > 1 && groups.size() > 1;
  cli::RunJobs(groups.size(), jobs, [&](size_t i) {
    const cli::MailboxGroup& group = groups[i];
    const ListedFiles rows(collected.files, &group.rows);
    const std::string reason = runs.notToStart();
    if (!reason.empty()) {
      reports[i] = Runs::notStarted(rows, std::move(reports[i].skipped), group.store, reason);
      return;
    }
    conversion::RunSettings settings = runs.settings(std::move(reports[i].skipped));
    settings.pstName = group.store;
    settings.storeDisplayName = group.store;
    settings.folderPathOf = [&layout](std::string_view entry, std::string* reason) -> std::optional<std::string> {
      const auto place = conversion::PlaceOf(layout, platform::pathFromText(entry));
      if (!place && reason) *reason = "it lies outside the server's store";
      return place ? std::optional<std::string>(place->folderPath) : std::nullopt;
    };
    reports[i] = runs.convert(rows, settings, group.store);
    runs.record(reports[i]);
  });
  std::vector<conversion::SkippedEntry> notStarted;
  for (size_t i = 0; i < groups.size(); ++i) {
    std::vector<conversion::SkippedEntry>& into = reports[i].row.started ? runs.skipped : notStarted;
    into.insert(into.end(), reports[i].skipped.begin(), reports[i].skipped.end());
    runs.summary.push_back(std::move(reports[i].row));
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
  const cli::Options options = cli::ParseOptions(platform::programArguments(argc, argv));
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
  if (options.jobs != 0 && !options.perMailbox)
    return usageError("'--jobs' converts mailboxes side by side: give it with '--per-mailbox'");
  if (options.ledgerRestate && (options.ledger.empty() || !options.keepStatus))
    return usageError("'--ledger-restate' converts again what changed state: give it with '--ledger' and '--keep-status'");
  if (options.perMailbox) {
    if (options.paths.size() != 1) {
      return usageError("'--per-mailbox' takes one PATH: the server's store, its Users folder or a domain folder");
    }
    std::string why;
    layout = conversion::DetectStoreLayout(platform::pathFromText(options.paths.front()), &why);
    if (!layout) return usageError("cannot convert per mailbox: " + EscapeControls(why));
  }

  std::error_code ec;
  const std::filesystem::path output =
      options.outputFolder.empty() ? std::filesystem::current_path(ec) : options.outputFolder;
  // Full first: on Windows "D:" names the current folder of drive D, which the C runtime
  // cannot look at by that name.
  if (!std::filesystem::is_directory(platform::fullPath(output), ec)) {
    return fail("the output folder " + cli::ShownPath(output.string()) +
                " does not exist or is not a folder; create it or choose another");
  }

  // Before the scan: a ledger in use by another run, or no ledger at all, costs no time and no PST.
  std::string problem;
  std::unique_ptr<cli::LedgerRun> ledger;
  if (!options.ledger.empty() && !(ledger = cli::LedgerRun::open(options.ledger, options.paths, options.ledgerRestate, &problem)))
    return fail(EscapeControls(problem));

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
  if (!options.skippedList.empty() && !skippedList.open(options.skippedList, problem)) return fail(problem);

  cli::ProgressView::installInterruptHandler();
  // An IMAP.MRK that is a link is followed only into what is being converted.
  const std::vector<std::filesystem::path> stores(options.paths.begin(), options.paths.end());
  Runs runs(options, output, stores);
  // The ledger reads the states itself, to find what changed state since the last run; each
  // run reads its own.
  std::unique_ptr<cli::ServerStatus> ledgerStatus;
  if (ledger) {
    if (options.keepStatus) ledgerStatus = std::make_unique<cli::ServerStatus>(stores);
    ledger->useServerStatus(ledgerStatus.get());
    runs.ledger = ledger.get();
  }
  if (layout) {
    convertPerMailbox(runs, *layout, collected);
  } else {
    std::vector<uint32_t> delta;
    if (ledger) delta = ledger->select(collected.files);
    const ListedFiles rows(collected.files, ledger ? &delta : nullptr);
    if (rows.rows() > 0 || !ledger) {
      const RunReport report = runs.convert(rows, runs.settings(std::move(collected.skipped)), {});
      runs.record(report);
      runs.skipped = report.skipped;
    } else {
      cli::PrintSkipped(stderr, collected.skipped, options.skippedList);
      runs.skipped.insert(runs.skipped.end(), collected.skipped.begin(), collected.skipped.end());
    }
  }
  // The ledger's reports (files gone, states changed) are listed, but are no file of this run.
  std::vector<conversion::SkippedEntry> listed = runs.skipped;
  const bool recorded = !ledger || ledger->finish(runs.skipped, listed, &problem);
  if (!recorded) std::cerr << kProgram << ": " << EscapeControls(problem) << "\n";
  if (!skippedList.write(listed, problem)) std::cerr << kProgram << ": " << problem << "\n";
  return recorded ? runs.exitStatus() : cli::kFailed;
}
