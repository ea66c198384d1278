#include "conversion/ledger.h"

#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <system_error>

#include "platform/path_text.h"

namespace conversion {

namespace {

// "VTLG": tells our ledgers from every other SQLite database.
constexpr int kApplicationId = 0x56544C47;
constexpr int kSchemaVersion = 2;  // 2: the server state of each converted message

constexpr const char* kSchema = R"(
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL);
CREATE TABLE files(
  root TEXT NOT NULL,
  path TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  sha256 BLOB,
  pst TEXT,
  folder TEXT,
  skip_reason TEXT,
  run INTEGER NOT NULL,
  gone_run INTEGER,
  status INTEGER,
  PRIMARY KEY(root, path)) WITHOUT ROWID;
)";

std::string quoted(const std::filesystem::path& file) { return "'" + file.string() + "'"; }

// A run holds the ledger for its whole length; a second run is told so at once.
std::string lockedProblem(const std::filesystem::path& file) {
  return "the ledger " + quoted(file) +
         " is in use by another run of vantorel-convert; wait for that run to end, or name another ledger";
}

bool startsAsSqlite(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[16] = {};
  in.read(head, sizeof head);
  return in.gcount() == sizeof head && std::memcmp(head, "SQLite format 3", 16) == 0;
}

int64_t intOf(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
    value = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  return value;
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string textAt(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

}  // namespace

constexpr std::streamsize kReadSize = 1 << 16;

std::optional<Sha256Digest> Sha256OfFile(const std::filesystem::path& file, std::string* problem) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (problem) *problem = "cannot read " + quoted(file);
    return std::nullopt;
  }
  mail::Sha256 sha;
  // Called for every file converted: one buffer, reused, and not cleared each time.
  static thread_local std::unique_ptr<char[]> buffer(new char[kReadSize]);
  while (in) {
    in.read(buffer.get(), kReadSize);
    if (in.gcount() > 0) sha.update(buffer.get(), static_cast<size_t>(in.gcount()));
  }
  const bool complete = in.eof() && !in.bad();
  if (!complete) {
    if (problem) *problem = "cannot read " + quoted(file) + " to its end";
    return std::nullopt;
  }
  return sha.finish();
}

std::string HexOf(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::unique_ptr<Ledger> Ledger::open(const std::filesystem::path& file, std::string* problem) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(file, ec);
  if (exists && !std::filesystem::is_regular_file(file, ec)) {
    *problem = "the ledger " + quoted(file) + " is not a file; name a new file or the ledger of an earlier run";
    return nullptr;
  }
  const bool fresh = !exists || std::filesystem::file_size(file, ec) == 0;
  // Whatever is not an SQLite database is refused before SQLite is let near it: a mistyped
  // name must never turn someone's file into a ledger.
  if (!fresh && !startsAsSqlite(file)) {
    *problem = "the file " + quoted(file) +
               " is not a Vantorel ledger; name a new file or the ledger of an earlier run (it was left as it is)";
    return nullptr;
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (fresh ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(platform::pathText(file).c_str(), &db, flags, nullptr) != SQLITE_OK) {
    *problem = "cannot open the ledger " + quoted(file) + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<Ledger> ledger(new Ledger(db, file));
  sqlite3_busy_timeout(db, 0);
  // Held from the first write until the ledger is closed, so a second run is refused.
  if (!ledger->exec("PRAGMA locking_mode=EXCLUSIVE; PRAGMA temp_store=MEMORY;", problem)) return nullptr;
  const int begun = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  if (begun == SQLITE_BUSY || begun == SQLITE_LOCKED) {
    *problem = lockedProblem(file);
    return nullptr;
  }
  if (begun != SQLITE_OK) {
    *problem = "the file " + quoted(file) + " is not a Vantorel ledger or is damaged: " + sqlite3_errmsg(db);
    return nullptr;
  }
  if (fresh) {
    const std::string setup = std::string(kSchema) + "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    if (!ledger->exec(setup.c_str(), problem)) return nullptr;
  } else {
    if (intOf(db, "PRAGMA application_id") != kApplicationId) {
      *problem = "the file " + quoted(file) +
                 " is a database of another program, not a Vantorel ledger; name a new file or the ledger of an "
                 "earlier run (it was left as it is)";
      return nullptr;
    }
    if (intOf(db, "PRAGMA user_version") > kSchemaVersion) {
      *problem = "the ledger " + quoted(file) + " was written by a newer Vantorel; use that version for this migration";
      return nullptr;
    }
    if (intOf(db, "PRAGMA user_version") < 2 &&
        !ledger->exec("ALTER TABLE files ADD COLUMN status INTEGER; PRAGMA user_version=2;", problem))
      return nullptr;
    sqlite3_stmt* check = nullptr;
    std::string verdict;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &check, nullptr) == SQLITE_OK &&
        sqlite3_step(check) == SQLITE_ROW)
      verdict = textAt(check, 0);
    else
      verdict = sqlite3_errmsg(db);
    sqlite3_finalize(check);
    if (verdict != "ok") {
      *problem = "the ledger " + quoted(file) + " is damaged (" + verdict +
                 "); restore it from a copy, or start the migration again with a new ledger";
      return nullptr;
    }
  }
  if (!ledger->exec("INSERT INTO runs(started) VALUES(datetime('now')); "
                    "CREATE TEMP TABLE seen(root TEXT NOT NULL, path TEXT NOT NULL, PRIMARY KEY(root, path)) WITHOUT ROWID;",
                    problem) ||
      !ledger->exec("COMMIT", problem))
    return nullptr;
  ledger->run_ = sqlite3_last_insert_rowid(db);
  // A commit after each PST then costs one sync of the write-ahead log, not four of a rollback
  // journal. The lock stays exclusive, so no shared-memory file is made; a log a killed run left
  // beside the ledger is taken in when it is opened next.
  if (!ledger->exec("PRAGMA journal_mode=WAL", problem)) return nullptr;

  ledger->find_ = ledger->prepare("SELECT size, mtime_ns, sha256, pst, folder, skip_reason, status FROM files WHERE root=? AND path=?");
  ledger->seen_ = ledger->prepare("INSERT OR IGNORE INTO seen(root, path) VALUES(?, ?)");
  ledger->touch_ = ledger->prepare("UPDATE files SET size=?, mtime_ns=? WHERE root=? AND path=?");
  ledger->converted_ = ledger->prepare(
      "INSERT OR REPLACE INTO files(root, path, size, mtime_ns, sha256, pst, folder, skip_reason, run, gone_run, status) "
      "VALUES(?, ?, ?, ?, ?, ?, ?, NULL, ?, NULL, ?)");
  ledger->skipped_ = ledger->prepare(
      "INSERT INTO files(root, path, size, mtime_ns, sha256, pst, folder, skip_reason, run) "
      "VALUES(?, ?, ?, ?, NULL, NULL, NULL, ?, ?) "
      "ON CONFLICT(root, path) DO UPDATE SET skip_reason=excluded.skip_reason, run=excluded.run "
      "WHERE files.skip_reason IS NOT NULL");
  for (sqlite3_stmt* statement : ledger->statements_) {
    if (!statement) {
      *problem = "cannot use the ledger " + quoted(file) + ": " + sqlite3_errmsg(db);
      return nullptr;
    }
  }
  return ledger;
}

Ledger::Ledger(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}

Ledger::~Ledger() {
  // A batch not committed is rolled back with the connection: only complete PSTs are recorded.
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

bool Ledger::exec(const char* sql, std::string* problem) {
  char* message = nullptr;
  const int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (result != SQLITE_OK) {
    if (problem) {
      *problem = (result == SQLITE_BUSY || result == SQLITE_LOCKED)
                     ? lockedProblem(file_)
                     : "cannot write the ledger " + quoted(file_) + ": " + (message ? message : sqlite3_errstr(result));
    }
    sqlite3_free(message);
    return false;
  }
  return true;
}

sqlite3_stmt* Ledger::prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) statement = nullptr;
  statements_.push_back(statement);
  return statement;
}

// Every write of a batch: the first that fails is kept, and commit() reports it and drops the
// batch, so that no failure is lost and no half of a batch is kept.
void Ledger::write(sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE && writeProblem_.empty())
    writeProblem_ = "cannot write the ledger " + quoted(file_) + ": " + sqlite3_errmsg(db_);
}

void Ledger::beginBatch() {
  if (inBatch_) return;
  std::string problem;
  if (exec("BEGIN", &problem))
    inBatch_ = true;
  else if (writeProblem_.empty())
    writeProblem_ = problem;
}

std::optional<LedgerEntry> Ledger::find(const std::string& root, const std::string& path) {
  sqlite3_reset(find_);
  bindText(find_, 1, root);
  bindText(find_, 2, path);
  if (sqlite3_step(find_) != SQLITE_ROW) return std::nullopt;
  LedgerEntry entry;
  entry.stamp.size = static_cast<uint64_t>(sqlite3_column_int64(find_, 0));
  entry.stamp.modifiedNs = sqlite3_column_int64(find_, 1);
  if (sqlite3_column_bytes(find_, 2) == static_cast<int>(Sha256Digest().size())) {
    Sha256Digest digest;
    std::memcpy(digest.data(), sqlite3_column_blob(find_, 2), digest.size());
    entry.digest = digest;
  }
  entry.pstFile = textAt(find_, 3);
  entry.folder = textAt(find_, 4);
  entry.skipReason = textAt(find_, 5);
  if (sqlite3_column_type(find_, 6) == SQLITE_INTEGER) entry.status = static_cast<uint8_t>(sqlite3_column_int(find_, 6));
  sqlite3_reset(find_);
  return entry;
}

void Ledger::markSeen(const std::string& root, const std::string& path) {
  beginBatch();
  sqlite3_reset(seen_);
  bindText(seen_, 1, root);
  bindText(seen_, 2, path);
  write(seen_);
}

LedgerChange Ledger::classify(const std::string& root, const std::string& path, const FileStamp& stamp,
                              const std::function<std::optional<Sha256Digest>()>& digestOf,
                              std::optional<LedgerEntry>* recorded) {
  markSeen(root, path);
  const std::optional<LedgerEntry> entry = find(root, path);
  if (recorded) *recorded = entry;
  if (!entry) return LedgerChange::New;
  if (!entry->skipReason.empty()) return LedgerChange::SkippedLast;
  if (entry->stamp == stamp) return LedgerChange::Unchanged;
  // Copied or touched files keep their bytes: only a different digest makes them changed.
  const std::optional<Sha256Digest> digest = digestOf();
  if (!digest || !entry->digest || *digest != *entry->digest) return LedgerChange::Changed;
  sqlite3_reset(touch_);
  sqlite3_bind_int64(touch_, 1, static_cast<int64_t>(stamp.size));
  sqlite3_bind_int64(touch_, 2, stamp.modifiedNs);
  bindText(touch_, 3, root);
  bindText(touch_, 4, path);
  write(touch_);
  return LedgerChange::Unchanged;
}

bool Ledger::holdsFiles() { return intOf(db_, "SELECT EXISTS (SELECT 1 FROM files)") == 1; }

std::vector<std::string> Ledger::takeGone(const std::string& root) {
  std::vector<std::string> gone;
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db_,
                     "SELECT path FROM files WHERE root=?1 AND skip_reason IS NULL AND gone_run IS NULL "
                     "AND NOT EXISTS (SELECT 1 FROM seen WHERE seen.root=files.root AND seen.path=files.path) "
                     "ORDER BY path",
                     -1, &select, nullptr);
  bindText(select, 1, root);
  while (sqlite3_step(select) == SQLITE_ROW) gone.push_back(textAt(select, 0));
  sqlite3_finalize(select);
  if (gone.empty()) return gone;
  beginBatch();
  sqlite3_stmt* mark = nullptr;
  sqlite3_prepare_v2(db_, "UPDATE files SET gone_run=?1 WHERE root=?2 AND path=?3", -1, &mark, nullptr);
  for (const std::string& path : gone) {
    sqlite3_reset(mark);
    sqlite3_bind_int64(mark, 1, run_);
    bindText(mark, 2, root);
    bindText(mark, 3, path);
    write(mark);
  }
  sqlite3_finalize(mark);
  return gone;
}

void Ledger::recordConverted(const std::string& root, const std::string& path, const FileStamp& stamp,
                             const std::optional<Sha256Digest>& digest, const std::string& pstFile,
                             const std::string& folder, std::optional<uint8_t> status) {
  beginBatch();
  sqlite3_reset(converted_);
  bindText(converted_, 1, root);
  bindText(converted_, 2, path);
  sqlite3_bind_int64(converted_, 3, static_cast<int64_t>(stamp.size));
  sqlite3_bind_int64(converted_, 4, stamp.modifiedNs);
  if (digest)
    sqlite3_bind_blob(converted_, 5, digest->data(), static_cast<int>(digest->size()), SQLITE_TRANSIENT);
  else
    sqlite3_bind_null(converted_, 5);
  bindText(converted_, 6, pstFile);
  bindText(converted_, 7, folder);
  sqlite3_bind_int64(converted_, 8, run_);
  if (status)
    sqlite3_bind_int(converted_, 9, *status);
  else
    sqlite3_bind_null(converted_, 9);
  write(converted_);
}

void Ledger::recordSkipped(const std::string& root, const std::string& path, const FileStamp& stamp,
                           const std::string& reason) {
  // A file converted by an earlier run keeps that record: its PST still holds it.
  beginBatch();
  sqlite3_reset(skipped_);
  bindText(skipped_, 1, root);
  bindText(skipped_, 2, path);
  sqlite3_bind_int64(skipped_, 3, static_cast<int64_t>(stamp.size));
  sqlite3_bind_int64(skipped_, 4, stamp.modifiedNs);
  bindText(skipped_, 5, reason);
  sqlite3_bind_int64(skipped_, 6, run_);
  write(skipped_);
}

bool Ledger::commit(std::string* problem) {
  if (!writeProblem_.empty()) {
    *problem = writeProblem_;
    writeProblem_.clear();
    if (inBatch_) exec("ROLLBACK", nullptr);
    inBatch_ = false;
    return false;
  }
  if (!inBatch_) return true;
  inBatch_ = false;
  if (exec("COMMIT", problem)) return true;
  exec("ROLLBACK", nullptr);
  return false;
}

}  // namespace conversion
