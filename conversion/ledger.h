// The ledger of a migration: what earlier runs converted from a store, and where to, kept in an
// SQLite database so that a later run converts only the files that are new or changed.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail/sha256.h"

struct sqlite3;
struct sqlite3_stmt;

namespace conversion {

using Sha256Digest = mail::Sha256Digest;

// What a stat tells of a file: enough to know, without reading it, that it is unchanged.
struct FileStamp {
  uint64_t size = 0;
  int64_t modifiedNs = 0;  // modification time, nanoseconds since 1970
  bool operator==(const FileStamp&) const = default;
};

// The SHA-256 of a file's bytes; none, with `problem` set, when it cannot be read.
std::optional<Sha256Digest> Sha256OfFile(const std::filesystem::path& file, std::string* problem);
std::string HexOf(const Sha256Digest& digest);

// What became of a file in the run that last saw it.
struct LedgerEntry {
  FileStamp stamp;
  std::optional<Sha256Digest> digest;  // of a converted file
  std::string pstFile;                 // converted: the PST's file name
  std::string folder;                  // converted: the folder inside it, components joined by "\"
  std::string skipReason;              // skipped: why; empty for a converted file
  std::optional<uint8_t> status;       // converted with the server's state: its flags (StatusBits)
};

// How a file stands against the ledger.
enum class LedgerChange {
  New,          // never recorded
  Changed,      // converted before, its bytes differ now
  Unchanged,    // converted before, the same bytes (or the same size and time: not read at all)
  SkippedLast,  // skipped last time: it is tried again
};

class Ledger {
 public:
  // Opens the ledger `file`, or creates it when there is none (or an empty file). Refuses,
  // with `problem` set for the user, a file that is not a ledger (it is never written then),
  // a damaged one, and one that another run holds: the ledger stays locked to this one
  // until it is closed.
  static std::unique_ptr<Ledger> open(const std::filesystem::path& file, std::string* problem);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // `root` is the PATH a run was given, `path` a file's path relative to it.
  std::optional<LedgerEntry> find(const std::string& root, const std::string& path);

  // How the file stands; reads it (through `digestOf`) only when its stamp differs from the
  // one recorded. Marks the file as seen by this run, for gone(). `digestOf` may fail (none):
  // the file then counts as changed.
  // `recorded`, when given, receives the entry of a file that was recorded.
  LedgerChange classify(const std::string& root, const std::string& path, const FileStamp& stamp,
                        const std::function<std::optional<Sha256Digest>()>& digestOf,
                        std::optional<LedgerEntry>* recorded = nullptr);

  // Whether an earlier run recorded any file: this run then converts the difference.
  bool holdsFiles();

  // Converted files recorded under `root` that this run has not seen, in path order, and not
  // reported by an earlier run; reporting them here marks them so.
  std::vector<std::string> takeGone(const std::string& root);

  // Records what became of files. Call these only once the PST that holds them is complete
  // and has its final name, then commit(): a run that dies before leaves the ledger as it was.
  // Without a digest (the file changed while it was converted) the next run sees it as changed.
  void recordConverted(const std::string& root, const std::string& path, const FileStamp& stamp,
                       const std::optional<Sha256Digest>& digest, const std::string& pstFile, const std::string& folder,
                       std::optional<uint8_t> status = std::nullopt);
  void recordSkipped(const std::string& root, const std::string& path, const FileStamp& stamp,
                     const std::string& reason);
  // Writes every record since the last commit in one transaction. False, with `problem` set,
  // when the disk refuses: nothing of that batch is in the ledger then.
  bool commit(std::string* problem);

 private:
  Ledger(sqlite3* db, std::filesystem::path file);
  bool exec(const char* sql, std::string* problem);
  sqlite3_stmt* prepare(const char* sql);
  void beginBatch();
  void markSeen(const std::string& root, const std::string& path);
  void write(sqlite3_stmt* statement);

  sqlite3* db_;
  std::filesystem::path file_;
  int64_t run_ = 0;
  bool inBatch_ = false;
  std::vector<sqlite3_stmt*> statements_;
  sqlite3_stmt* find_ = nullptr;
  sqlite3_stmt* seen_ = nullptr;
  sqlite3_stmt* touch_ = nullptr;
  sqlite3_stmt* converted_ = nullptr;
  sqlite3_stmt* skipped_ = nullptr;
  std::string writeProblem_;
};

}  // namespace conversion
