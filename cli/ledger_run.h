// --ledger FILE: a migration in passes. A run records in the ledger what it converted and
// where to; a later run with the same ledger converts only the files that are new, changed or
// were skipped, into PSTs named " (delta <date>)", and tells what is gone.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/mailbox_groups.h"
#include "cli/path_list.h"
#include "conversion/engine.h"
#include "conversion/ledger.h"

namespace cli {

class ServerStatus;

class LedgerRun {
 public:
  // Opens `file` for a run over `paths` (as given on the command line). None, with `problem`
  // set, when it is in use by another run, is not a ledger or is damaged. `restate`: convert
  // again the messages whose state on the server changed.
  static std::unique_ptr<LedgerRun> open(const std::filesystem::path& file, const std::vector<std::string>& paths,
                                         bool restate, std::string* problem);
  // With --keep-status: the states, to notice those that changed since the last run.
  void useServerStatus(ServerStatus* status) { status_ = status; }

  // Of the rows of `files` (every one when `rows` is null), those to convert; then tells the
  // counts on standard error.
  std::vector<uint32_t> select(const PathList& files, const std::vector<uint32_t>* rows = nullptr);
  // --per-mailbox: each group keeps only its files to convert; a group left with none is
  // dropped, and what its listing skipped moves to `elsewhere`, to be reported all the same.
  void selectGroups(std::vector<MailboxGroup>& groups, const PathList& files,
                    std::map<std::string, std::vector<conversion::SkippedEntry>>& listingSkips,
                    std::vector<conversion::SkippedEntry>& elsewhere);

  // Names the run's PSTs as a delta's (once the ledger holds an earlier run) and records the
  // files each completed PST holds, committed as it is completed.
  void attach(conversion::RunSettings& settings);

  // Once every run is over: records the skipped files (tried again next time) and adds to
  // `listed`, for --skipped-list, the files gone since the last run and those whose server
  // state changed. False, with `problem` set, when the ledger could not record everything.
  bool finish(const std::vector<conversion::SkippedEntry>& skipped, std::vector<conversion::SkippedEntry>& listed,
              std::string* problem);

 private:
  struct Place {
    std::string root, path;  // the PATH given (absolute) and the file's path relative to it
  };
  struct Converted {
    Place place;
    conversion::FileStamp stamp;
    std::optional<conversion::Sha256Digest> digest;
    std::string folder;
    std::optional<uint8_t> status;
  };

  LedgerRun(std::unique_ptr<conversion::Ledger> ledger, std::vector<std::string> roots, bool restate);
  std::optional<Place> placeOf(const std::string& file) const;
  bool wanted(const std::string& file);
  void report(size_t kept);
  void saved(std::vector<Converted>& pending, const std::string& file, const std::string& folder,
             const std::optional<conversion::Sha256Digest>& digest, const std::optional<uint8_t>& status);
  void completed(std::vector<Converted>& pending, const std::filesystem::path& pst);

  std::unique_ptr<conversion::Ledger> ledger_;
  std::vector<std::string> roots_;  // longest first
  ServerStatus* status_ = nullptr;
  bool restate_;
  bool delta_;  // an earlier run recorded files
  std::string deltaSuffix_;
  std::unordered_map<std::string, conversion::FileStamp> stamps_;  // of the files to convert
  size_t added_ = 0, changed_ = 0, retried_ = 0, unchanged_ = 0, restated_ = 0;
  std::vector<conversion::SkippedEntry> gone_, stateChanged_;
  std::mutex mutex_;  // runs may record at the same time
  std::string problem_;
};

}  // namespace cli
