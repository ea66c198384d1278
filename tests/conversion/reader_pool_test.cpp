// The reader processes: each file's own result in the order asked, exactly what importing it
// here gives; a reader that crashes, hangs or needs too much memory costs that one file, and a
// stop ends a wait at once. Faults come from the readers' test switch (reader/protocol.h).
#include "conversion/reader_pool.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>

#include "conversion/ledger.h"
#include "reader/message_codec.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string message(const std::string& subject) {
  return "From: a@example.com\r\nTo: b@example.com\r\nSubject: " + subject +
         "\r\nDate: Mon, 7 Jun 2021 10:00:00 +0000\r\n\r\nBody of " + subject + "\r\n";
}

std::string encoded(const mail::ImportResult& result) {
  std::string bytes;
  reader::encodeImportResult(result, bytes);
  return bytes;
}

// Sets the readers' fault switch for the life of the object: readers started meanwhile see it.
struct Faults {
#ifdef _WIN32
  explicit Faults(const std::string& spec) { _putenv_s(reader::kFaultVariable, spec.c_str()); }
  ~Faults() { _putenv_s(reader::kFaultVariable, ""); }
#else
  explicit Faults(const std::string& spec) { setenv(reader::kFaultVariable, spec.c_str(), 1); }
  ~Faults() { unsetenv(reader::kFaultVariable); }
#endif
};

ReaderPoolSettings settings() {
  ReaderPoolSettings s;
  s.program = findReaderProgram();
  return s;
}

TEST(ReaderPool, GivesEachFileWhatImportingItHereGivesInTheOrderAsked) {
  TempDir dir;
  std::map<std::string, fs::path> files;
  for (const char* name : {"a", "b", "c", "d", "e"}) files[name] = dir.write(std::string(name) + ".msg", message(name));
  files["bad"] = dir.write("bad.msg", std::string(300, '\x01'));
  files["gone"] = dir.path() / "gone.msg";
  ReaderPoolSettings withDigests = settings();
  withDigests.digests = true;
  auto pool = makeReaderPool(withDigests);
  for (const char* name : {"a", "b", "c", "d", "bad", "e"}) pool->expect(files[name]);
  for (const char* name : {"a", "c" /* b passed over */, "gone" /* never announced */, "d", "bad", "e", "a"}) {
    mail::ImportResult result = pool->import(files[name]);
    // With the digest of the bytes the reader read, for a ledger; none when it read none.
    EXPECT_EQ(result.sha256, Sha256OfFile(files[name], nullptr)) << name;
    result.sha256.reset();
    EXPECT_EQ(encoded(result), encoded(mail::importMessageFile(files[name]))) << name;
  }
}

TEST(ReaderPool, ACrashAHangOrTooMuchMemoryCostsOnlyThatFileAndTheRunGoesOn) {
  TempDir dir;
  std::vector<fs::path> files;
  for (const char* name : {"ok1", "crash-here", "ok2", "hang-here", "ok3", "memory-here", "ok4"})
    files.push_back(dir.write(std::string(name) + ".msg", message(name)));
  const Faults faults("crash:crash-here,hang:hang-here,memory:memory-here");
  ReaderPoolSettings s = settings();
  s.fileTimeLimit = 1s;
  auto pool = makeReaderPool(s);
  for (const fs::path& file : files) pool->expect(file);

  std::vector<std::string> reasons;
  for (const fs::path& file : files) {
    const mail::ImportResult result = pool->import(file);
    reasons.push_back(result.ok ? "ok" : result.reason);
  }
  const std::string prefix = "the message could not be read: the reader ";
  EXPECT_EQ(reasons[1], prefix + "stopped with signal 11");
  EXPECT_EQ(reasons[3], prefix + "took longer than 1 s");
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(reasons[5], prefix + "needs more than 2 GB of memory");
#endif
  for (size_t i : {0, 2, 4, 6}) EXPECT_EQ(reasons[i], "ok") << files[i];
}

TEST(ReaderPool, AStopEndsTheWaitAtOnceWhateverTheReaderIsDoing) {
  TempDir dir;
  const fs::path stuck = dir.write("hang-here.msg", message("stuck"));
  const fs::path next = dir.write("next.msg", message("next"));
  const Faults faults("hang:hang-here");
  auto pool = makeReaderPool(settings());  // the full time limit: only the stop can end the wait
  pool->expect(stuck);
  pool->expect(next);
  int waits = 0;
  pool->setWaitHandler([&] { return ++waits < 10; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(pool->import(stuck), ImportStopped);
  pool.reset();  // and the stuck reader goes with the pool
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(waits, 10);
}

// Starts are failed through the pool's test switch, as RLIMIT_NPROC cannot fail them for root.
TEST(ReaderPool, AReaderThatCannotStartCostsNoFileTheOthersReadThem) {
  TempDir dir;
  std::vector<fs::path> files;
  for (int i = 0; i < 12; ++i) files.push_back(dir.write(std::to_string(i) + ".msg", message(std::to_string(i))));
  const std::map<std::string, std::function<int(size_t, bool)>> cases = {
      {"the second reader's process", [](size_t slot, bool thread) { return slot == 1 && !thread ? EAGAIN : 0; }},
      {"the first reader's thread", [](size_t slot, bool thread) { return slot == 0 && thread ? EAGAIN : 0; }},
  };
  for (const auto& [what, fault] : cases) {
    ReaderPoolSettings s = settings();
    s.startFault = fault;
    auto pool = makeReaderPool(s);
    for (const fs::path& file : files) pool->expect(file);
    for (const fs::path& file : files) EXPECT_TRUE(pool->import(file).ok) << what << ": " << file;
  }
  // A start that fails for a moment is tried again.
  ReaderPoolSettings s = settings();
  std::atomic<int> tries{0};
  s.startFault = [&](size_t, bool thread) { return !thread && ++tries <= 4 ? EMFILE : 0; };
  auto pool = makeReaderPool(s);
  for (const fs::path& file : files) EXPECT_TRUE(pool->import(file).ok) << "after failed tries: " << file;
}

TEST(ReaderPool, WhenNoReaderCanBeStartedAgainTheFilesLeftAreRefusedWithTheCause) {
  TempDir dir;
  std::vector<fs::path> files;
  for (const char* name : {"ok0", "crash-1", "crash-2", "ok3", "ok4"})
    files.push_back(dir.write(std::string(name) + ".msg", message(name)));
  const Faults faults("crash:crash-");
  ReaderPoolSettings s = settings();
  std::atomic<int> starts{0};
  s.startFault = [&](size_t, bool thread) { return !thread && ++starts > 2 ? EAGAIN : 0; };
  auto pool = makeReaderPool(s);
  for (const fs::path& file : files) pool->expect(file);
  std::vector<mail::ImportResult> results;
  for (const fs::path& file : files) results.push_back(pool->import(file));
  EXPECT_TRUE(results[0].ok);
  EXPECT_EQ(results[4].reason,
            "the message could not be read: no message reader could be started: cannot start a reader process: "
            "Resource temporarily unavailable (the limit on processes, ulimit -u, is reached)");
}

TEST(ReaderPool, WhenNoReaderCanStartThePoolFailsAtOnceNamingTheCause) {
  TempDir dir;
  const fs::path text = dir.write("text-reader", "not a program\n");
  const fs::path script = dir.write("early-end-reader", "#!/bin/sh\nexit 127\n");
  const fs::path locked = dir.write("locked-reader", "#!/bin/sh\nexit 0\n");
  fs::permissions(text, fs::perms::owner_all);
  fs::permissions(script, fs::perms::owner_all);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
  const std::string none = "no message reader could be started: ";
  const auto failure = [](ReaderPoolSettings s) -> std::string {
    try {
      makeReaderPool(std::move(s));
    } catch (const ImporterUnavailable& e) {
      return e.what();
    }
    return "started";
  };
  ReaderPoolSettings s = settings();
  s.startFault = [](size_t, bool thread) { return thread ? EAGAIN : 0; };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(failure(s), none + "cannot start a thread: Resource temporarily unavailable (the limit on processes, "
                               "ulimit -u, is reached)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);  // a few tries, not a long wait
  s.startFault = [](size_t, bool) { return 0; };
  s.program = text;
  EXPECT_EQ(failure(s), none + "the reader program " + text.string() +
                            " is not a program this system can run: Exec format error");
#ifdef _WIN32  // any file may be started there, and scripts are no programs
  s.program = dir.path() / "missing-reader.exe";
  EXPECT_EQ(failure(s), none + "the reader program " + s.program.string() + " is missing: No such file or directory");
#else
  s.program = locked;
  EXPECT_EQ(failure(s), none + "the reader program " + locked.string() + " is not executable: Permission denied");
  s.program = script;
  EXPECT_EQ(failure(s), none + "the reader program " + script.string() + " ended as it started, with exit status 127");
#endif
}

}  // namespace
}  // namespace conversion::test
