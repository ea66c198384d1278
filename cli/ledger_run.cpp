#include "cli/ledger_run.h"


#include <algorithm>
#include <ctime>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/server_status.h"
#include "cli/terminal_text.h"
#include "conversion/pst_file_name.h"
#include "platform/file_status.h"
#include "platform/local_time.h"
#include "platform/path_text.h"

namespace cli {

namespace fs = std::filesystem;
using conversion::FileStamp;
using conversion::LedgerChange;
using conversion::LedgerEntry;
using conversion::SkippedEntry;

namespace {

// One stat for each file of the store: an unchanged file costs this and a look-up.
std::optional<FileStamp> stampOf(const std::string& file) {
  platform::FileStatus info;
  if (!platform::statusOf(platform::pathFromText(file), info)) return std::nullopt;
  return FileStamp{info.size, info.modifiedSeconds * 1'000'000'000 + int64_t{info.modifiedNanoseconds}};
}

uint8_t bitsOf(const conversion::MessageStatus& s) {
  return static_cast<uint8_t>((s.read ? 1 : 0) | (s.answered ? 2 : 0) | (s.flagged ? 4 : 0) | (s.draft ? 8 : 0) |
                              (s.deleted ? 16 : 0));
}

std::string describe(uint8_t bits) {
  std::string text = (bits & 1) ? "read" : "unread";
  if (bits & 2) text += ", answered";
  if (bits & 4) text += ", flagged";
  if (bits & 8) text += ", draft";
  if (bits & 16) text += ", marked deleted";
  return text;
}

std::string today() {
  const std::tm local = platform::localTime(std::time(nullptr));
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

std::string fullPath(const std::string& root, const std::string& path) {
  return platform::pathText(platform::pathFromText(root) / platform::pathFromText(path));
}

}  // namespace

std::unique_ptr<LedgerRun> LedgerRun::open(const fs::path& file, const std::vector<std::string>& paths,
                                           bool restate, std::string* problem) {
  std::unique_ptr<conversion::Ledger> ledger = conversion::Ledger::open(file, problem);
  if (!ledger) return nullptr;
  // Each file is recorded relative to the PATH it was found under, made absolute as the
  // scan makes the files' paths; a file given by itself, relative to its folder.
  std::vector<std::string> roots;
  for (const std::string& given : paths) {
    std::error_code ec;
    fs::path full = platform::fullPath(platform::pathFromText(given));
    if (!fs::is_directory(full, ec)) full = full.parent_path();
    std::string root = platform::pathText(full);
    while (root.size() > 1 && root.back() == fs::path::preferred_separator) root.pop_back();
    roots.push_back(root);
  }
  std::sort(roots.begin(), roots.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  return std::unique_ptr<LedgerRun>(new LedgerRun(std::move(ledger), std::move(roots), restate));
}

LedgerRun::LedgerRun(std::unique_ptr<conversion::Ledger> ledger, std::vector<std::string> roots, bool restate)
    : ledger_(std::move(ledger)), roots_(std::move(roots)), restate_(restate) {
  delta_ = ledger_->holdsFiles();
  deltaSuffix_ = " (delta " + today() + ")";
}

std::optional<LedgerRun::Place> LedgerRun::placeOf(const std::string& file) const {
  for (const std::string& root : roots_) {
    const size_t start = root.size() == 1 ? 1 : root.size() + 1;  // past "/" or "root/"
    if (file.size() > start && file.compare(0, root.size(), root) == 0 &&
        // The folder scan joins names with "/", also on Windows, whose own separator is the backslash.
        (root.size() == 1 || file[root.size()] == '/' || file[root.size()] == fs::path::preferred_separator))
      return Place{root, file.substr(start)};
  }
  return std::nullopt;
}

bool LedgerRun::wanted(const std::string& file) {
  const std::optional<Place> place = placeOf(file);
  const std::optional<FileStamp> stamp = stampOf(file);
  // What cannot be placed or read is tried, and the run names why it was not converted.
  if (!place || !stamp) {
    ++added_;
    return true;
  }
  std::optional<LedgerEntry> recorded;
  const LedgerChange change = ledger_->classify(
      place->root, place->path, *stamp, [&file] { return conversion::Sha256OfFile(platform::pathFromText(file), nullptr); }, &recorded);
  bool convert = true;
  switch (change) {
    case LedgerChange::New:
      ++added_;
      break;
    case LedgerChange::Changed:
      ++changed_;
      break;
    case LedgerChange::SkippedLast:
      ++retried_;
      break;
    case LedgerChange::Unchanged: {
      convert = false;
      if (status_ && recorded && recorded->status) {
        const uint8_t now = bitsOf(status_->of(file));
        if (now != *recorded->status) {
          if (restate_) {
            convert = true;
            ++restated_;
            break;
          }
          stateChanged_.push_back(
              {file, "its state on the server changed since the last run (it was " + describe(*recorded->status) +
                         ", now " + describe(now) + "); it stays as it was in " + recorded->pstFile +
                         ": give --ledger-restate to convert it again"});
        }
      }
      ++unchanged_;
      break;
    }
  }
  if (convert) stamps_.emplace(file, *stamp);
  return convert;
}

std::vector<uint32_t> LedgerRun::select(const PathList& files, const std::vector<uint32_t>* rows) {
  std::vector<uint32_t> kept;
  const size_t count = rows ? rows->size() : files.size();
  for (size_t i = 0; i < count; ++i) {
    const uint32_t row = rows ? rows->at(i) : static_cast<uint32_t>(i);
    if (wanted(files.at(row))) kept.push_back(row);
  }
  if (!rows) report(kept.size());
  return kept;
}

void LedgerRun::selectGroups(std::vector<MailboxGroup>& groups, const PathList& files,
                             std::map<std::string, std::vector<SkippedEntry>>& listingSkips,
                             std::vector<SkippedEntry>& elsewhere) {
  std::vector<MailboxGroup> kept;
  for (MailboxGroup& group : groups) {
    group.rows = select(files, &group.rows);
    if (!group.rows.empty()) {
      kept.push_back(std::move(group));
      continue;
    }
    std::vector<SkippedEntry>& skips = listingSkips[group.folder];
    elsewhere.insert(elsewhere.end(), skips.begin(), skips.end());
    skips.clear();
  }
  groups = std::move(kept);
  report(groups.size());
}

void LedgerRun::report(size_t kept) {
  for (const std::string& root : roots_) {
    for (const std::string& path : ledger_->takeGone(root)) {
      const std::optional<LedgerEntry> entry = ledger_->find(root, path);
      gone_.push_back({fullPath(root, path), "gone since the last run (it was converted into " +
                                                 (entry ? entry->pstFile : std::string("an earlier PST")) + ")"});
    }
  }
  std::cerr << kProgram << ": ledger: " << added_ << " new, " << changed_ << " changed, ";
  if (retried_ > 0) std::cerr << retried_ << " skipped last time, ";
  std::cerr << unchanged_ << " unchanged, " << gone_.size() << " gone since the last run";
  if (restated_ > 0) std::cerr << "; " << restated_ << " converted again for their new state on the server";
  std::cerr << "\n";
  if (!stateChanged_.empty()) {
    std::cerr << kProgram << ": ledger: " << stateChanged_.size()
              << " unchanged message(s) changed state on the server since the last run and were not converted "
                 "again (--ledger-restate converts them again)\n";
  }
  if (kept == 0) std::cerr << kProgram << ": ledger: nothing new or changed to convert; no PST file was made\n";
}

void LedgerRun::attach(conversion::RunSettings& settings) {
  if (delta_) settings.pstNameSuffix = deltaSuffix_;
  // Each run its own files in waiting, so that runs side by side do not mix them.
  auto pending = std::make_shared<std::vector<Converted>>();
  const auto statusOf = settings.messageStatus;
  settings.fileSaved = [this, pending, statusOf](const std::string& file, const std::string& folder,
                                                 const std::optional<conversion::Sha256Digest>& digest) {
    saved(*pending, file, folder, digest, statusOf ? std::optional<uint8_t>(bitsOf(statusOf(file))) : std::nullopt);
  };
  settings.pstCompleted = [this, pending](const fs::path& pst) { completed(*pending, pst); };
}

void LedgerRun::saved(std::vector<Converted>& pending, const std::string& file, const std::string& folder,
                      const std::optional<conversion::Sha256Digest>& converted, const std::optional<uint8_t>& status) {
  const std::optional<Place> place = placeOf(file);
  if (!place) return;
  std::optional<FileStamp> stamp;
  {
    std::lock_guard lock(mutex_);
    if (auto found = stamps_.find(file); found != stamps_.end()) stamp = found->second;
  }
  if (!stamp) stamp = stampOf(file);
  if (!stamp) return;
  // The digest of the bytes converted, reckoned by the reader; without one (a reader in this
  // process), of the bytes just read, still in the system's cache. A file that changed since it
  // was looked at is recorded without a digest, so that the next run sees it as changed.
  std::optional<conversion::Sha256Digest> digest = converted ? converted : conversion::Sha256OfFile(platform::pathFromText(file), nullptr);
  if (stampOf(file) != stamp) digest.reset();
  pending.push_back({*place, *stamp, digest, folder, status});
}

void LedgerRun::completed(std::vector<Converted>& pending, const fs::path& pst) {
  std::lock_guard lock(mutex_);
  const std::string name = pst.filename().string();
  for (const Converted& file : pending)
    ledger_->recordConverted(file.place.root, file.place.path, file.stamp, file.digest, name, file.folder, file.status);
  pending.clear();
  std::string problem;
  if (!ledger_->commit(&problem) && problem_.empty())
    problem_ = problem + "; the files in " + name + " are not recorded, so a later run with this ledger converts them again";
}

bool LedgerRun::finish(const std::vector<SkippedEntry>& skipped, std::vector<SkippedEntry>& listed,
                       std::string* problem) {
  std::lock_guard lock(mutex_);
  for (const SkippedEntry& entry : skipped) {
    if (!entry.path.empty() && entry.path.back() == fs::path::preferred_separator) continue;  // a folder
    const std::optional<Place> place = placeOf(entry.path);
    if (!place) continue;
    ledger_->recordSkipped(place->root, place->path, stampOf(entry.path).value_or(FileStamp{}), entry.reason);
  }
  std::string commitProblem;
  if (!ledger_->commit(&commitProblem) && problem_.empty()) problem_ = commitProblem;
  listed.insert(listed.end(), gone_.begin(), gone_.end());
  listed.insert(listed.end(), stateChanged_.begin(), stateChanged_.end());
  *problem = problem_;
  return problem_.empty();
}

}  // namespace cli
