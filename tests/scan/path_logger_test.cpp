#include "messagelist/path_logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "messagelist/file_checks.h"
#include "messagelist/message_filter.h"
#include "temp_tree.h"

namespace messagelist {
namespace {

namespace fs = std::filesystem;
using scantest::TempTree;
using Strings = std::vector<std::string>;

// R holds r1, r2 and the subfolders A (a1, subfolder A1 with x) and B (b1); created out of
// name order so that the file system's own listing order cannot hide a missing sort.
struct ExampleTree : TempTree {
  ExampleTree() {
    for (const char* f : {"R/B/b1", "R/r2", "R/A/A1/x", "R/A/a1", "R/r1"}) file(f);
  }
  std::string r = path("R");
};

pathLogger scanned(const std::string& folder, bool fullOnly = true) {
  pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly(fullOnly);
  logger.LogPath(folder);
  return logger;
}

TEST(PathLogger, WalksBreadthFirstWithSubfoldersQueuedBeforeFiles) {
  ExampleTree t;
  pathLogger logger = scanned(t.r, false);
  const std::string r = t.r;
  EXPECT_EQ(logger.pathNames()->values(), (Strings{r + "/", r + "/A/", r + "/B/", r + "/A/A1/"}));
  for (const char* key : {"K0", "K2", "K3", "K4"}) EXPECT_TRUE(logger.pathNames()->contains(key)) << key;
  EXPECT_EQ(logger.fullFileNames()->values(),
            (Strings{r + "/r1", r + "/r2", r + "/A/a1", r + "/B/b1", r + "/A/A1/x"}));
  EXPECT_EQ(logger.fileNames()->values(), (Strings{"r1", "r2", "a1", "b1", "x"}));
  EXPECT_EQ(logger.pathPointers()->values(), (std::vector<int32_t>{1, 1, 2, 3, 4}));
  EXPECT_TRUE(logger.fileNames()->contains("K5") && logger.pathPointers()->contains("K5") &&
              logger.fullFileNames()->contains("K5"));
  EXPECT_EQ(logger.Count(), 6);

  // Full-path mode, and a start that already ends in the separator.
  pathLogger fullOnly = scanned(r + "/");
  EXPECT_EQ(fullOnly.pathNames()->item(1), r + "/");
  EXPECT_EQ(fullOnly.fullFileNames()->values(), logger.fullFileNames()->values());
  EXPECT_TRUE(fullOnly.fileNames()->empty() && fullOnly.pathPointers()->empty());
}

TEST(PathLogger, FileSinkSeesTheListedFilesInOrderAndTheListsStayEmpty) {
  ExampleTree t;
  pathLogger logger;
  logger.PathLogInit();
  Strings seen;
  logger.setFileSink([&seen](const std::string& folder, const std::string& name) {
    EXPECT_EQ(folder.back(), '/');
    seen.push_back(folder + name);
  });
  logger.LogPath(t.r);
  EXPECT_EQ(seen, scanned(t.r).fullFileNames()->values());
  EXPECT_TRUE(logger.fullFileNames()->empty() && logger.fileNames()->empty());
  EXPECT_EQ(logger.Count(), 6);
  EXPECT_EQ(logger.pathNames()->count(), 4u);
}

TEST(PathLogger, OrdersEachFolderByTheBytesOfItsNames) {
  TempTree t;
  for (const char* name : {"b", "\xC3\xA9", "a", "_", "B", "a0"}) t.file(std::string("R/") + name);
  EXPECT_EQ(scanned(t.path("R"), false).fileNames()->values(), (Strings{"B", "_", "a", "a0", "b", "\xC3\xA9"}));
}

TEST(PathLogger, EmptyMissingOrFileStartChangesNothingBeyondTheStart) {
  TempTree t;
  t.dir("Empty");
  t.file("R/one");
  pathLogger empty = scanned(t.path("Empty"));
  EXPECT_EQ(empty.pathNames()->values(), Strings{t.path("Empty") + "/"});
  EXPECT_TRUE(empty.fullFileNames()->empty());
  EXPECT_EQ(empty.Count(), 1);

  pathLogger fresh = scanned(t.path("nowhere"));
  EXPECT_EQ(fresh.Count(), 0);
  EXPECT_TRUE(fresh.fullFileNames()->empty() && fresh.pathNames()->empty());

  pathLogger used = scanned(t.path("R"));
  used.LogPath(t.path("nowhere"));  // returns before its first append, so no key clash
  used.LogPath(t.path("R/one"));
  EXPECT_EQ(used.Count(), 2);
  EXPECT_EQ(used.fullFileNames()->values(), Strings{t.path("R/one")});
  EXPECT_EQ(used.skippedFolders(), 0);
}

TEST(PathLogger, KeepsTheOrderOfItsLifecycle) {
  ExampleTree t;
  pathLogger logger;
  EXPECT_FALSE(logger.fullFileNamesOnly());
  EXPECT_THROW(logger.LogPath(t.r), std::logic_error);  // not prepared yet

  logger.PathLogInit();
  logger.LogPath(t.r);
  try {
    logger.LogPath(t.r);
    FAIL() << "a second scan on lists not dropped must fail";
  } catch (const DuplicateKeyError& e) {
    EXPECT_EQ(e.key(), "K0");
  }
  EXPECT_EQ(logger.Count(), 1);  // reset before the failing append
  EXPECT_EQ(logger.fullFileNames()->count(), 5u);
  EXPECT_EQ(logger.pathNames()->count(), 4u);

  logger.PathLogInit();
  logger.fullFileNamesOnly(false);
  logger.LogPath(t.r);
  std::shared_ptr<StringKeyedList> kept = logger.fullFileNames();
  logger.Terminate();
  EXPECT_EQ(kept->count(), 5u);  // the caller's reference outlives the scanner's
  EXPECT_TRUE(logger.fullFileNames()->empty() && logger.pathNames()->empty());
  EXPECT_EQ(logger.Count(), 6);
  EXPECT_FALSE(logger.fullFileNamesOnly());
  EXPECT_THROW(logger.LogPath(t.r), std::logic_error);

  logger.PathLogInit();
  EXPECT_TRUE(logger.fullFileNamesOnly());
  EXPECT_EQ(logger.Count(), 6);  // only LogPath resets the counter
}

TEST(PathLogger, RecordsEveryRegularFileForTheFilterToPickFrom) {
  TempTree t;
  for (const char* name : {"A.MSG", "b.Msg", "c.msg", "d.eml", "e.msg.bak", "f.msgx", "g.msg.txt",
                           "h.msg ", ".hidden.msg", "msg"})
    t.file(std::string("R/") + name);
  t.file("R/.cfg/x.msg");
  ASSERT_EQ(mkfifo(t.path("R/pipe.msg").c_str(), 0600), 0);  // reading it would block

  pathLogger logger = scanned(t.path("R"));
  ASSERT_EQ(logger.fullFileNames()->count(), 11u);
  Strings kept;
  for (const std::string& p : *logger.fullFileNames())
    if (IsMessageFileName(p)) kept.push_back(p.substr(t.path("R").size() + 1));
  EXPECT_EQ(kept, (Strings{".hidden.msg", "A.MSG", "b.Msg", "c.msg", "h.msg ", ".cfg/x.msg"}));
}

TEST(PathLogger, FollowsLinksToFilesButNotToFolders) {
  TempTree t;
  t.file("R/real.msg");
  t.file("R/sub/own.msg");
  t.file("Outside/far.msg");
  fs::create_directory_symlink("..", t.root() / "R/sub/up");
  fs::create_directory_symlink(t.root() / "R", t.root() / "R/sub/loop");
  fs::create_directory_symlink(t.root() / "Outside", t.root() / "R/outside");
  fs::create_symlink("../real.msg", t.root() / "R/sub/link.msg");
  fs::create_symlink("missing.msg", t.root() / "R/sub/dangling.msg");
  fs::create_directory_symlink(t.root() / "R", t.root() / "Start");

  const std::string r = t.path("R");
  pathLogger logger = scanned(r);
  EXPECT_EQ(logger.pathNames()->values(), (Strings{r + "/", r + "/sub/"}));
  EXPECT_EQ(logger.fullFileNames()->values(), (Strings{r + "/real.msg", r + "/sub/link.msg", r + "/sub/own.msg"}));
  EXPECT_EQ(logger.skippedFolders(), 0);
  EXPECT_EQ(scanned(t.path("Start")).fullFileNames()->count(), 3u);  // the chosen start may be a link
}

TEST(PathLogger, ReportsEveryEntryItCannotRecordWithTheReason) {
  TempTree t;
  t.file("R/real.msg");
  ASSERT_EQ(mkfifo(t.path("R/pipe.msg").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(t.path("R/pipe.txt").c_str(), 0600), 0);  // reported too: the caller filters names
  fs::create_symlink("/dev/zero", t.root() / "R/zero.msg");
  fs::create_symlink("missing.msg", t.root() / "R/dangling.msg");
  fs::create_symlink("loop.msg", t.root() / "R/loop.msg");
  const std::string longName = std::string(246, 'x') + ".msg";
  const std::string deep = t.nestToPathLimit("R/deep", {longName});

  const std::string r = t.path("R");
  pathLogger logger = scanned(r);
  EXPECT_EQ(logger.fullFileNames()->values(), Strings{r + "/real.msg"});
  std::vector<std::pair<std::string, std::string>> skipped;
  for (const ScanSkip& s : logger.skipped()) skipped.emplace_back(s.path, s.reason);
  const std::string tooDeep = deep + "/" + std::string(250, 'd') + "/";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {r + "/dangling.msg", "a link to something that does not exist (missing.msg)"},
      {r + "/loop.msg", "a link that loops, or leads through more than 40 links (loop.msg)"},
      {r + "/pipe.msg", "not a regular file (a named pipe)"},
      {r + "/pipe.txt", "not a regular file (a named pipe)"},
      {r + "/zero.msg", "not a regular file (a character device)"},
      {deep + "/" + std::string(250, 'd') + "/", tooLongReason(tooDeep.size())},
      {deep + "/" + longName, tooLongReason(deep.size() + 1 + longName.size())},
  };
  EXPECT_EQ(skipped, expected);
  EXPECT_EQ(logger.skippedFolders(), 1);
  EXPECT_EQ(tooLongReason(4100), "the path is 4100 bytes long, longer than the 4095 bytes the system allows");
}

TEST(PathLogger, SkipsAndCountsFoldersItCannotRead) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, where folder permissions do not bite";
  TempTree t;
  t.file("R/locked/hidden.msg");
  t.file("R/open/o.msg");
  t.file("R/top.msg");
  t.file("Shut/In/a.msg");
  ASSERT_EQ(chmod(t.path("R/locked").c_str(), 0), 0);
  ASSERT_EQ(chmod(t.path("Shut").c_str(), 0), 0);

  const std::string r = t.path("R");
  pathLogger logger = scanned(r);
  EXPECT_EQ(logger.pathNames()->values(), (Strings{r + "/", r + "/locked/", r + "/open/"}));
  EXPECT_EQ(logger.fullFileNames()->values(), (Strings{r + "/top.msg", r + "/open/o.msg"}));
  EXPECT_EQ(logger.skippedFolders(), 1);
  ASSERT_EQ(logger.skipped().size(), 1u);
  EXPECT_EQ(logger.skipped()[0].path, r + "/locked/");
  EXPECT_EQ(logger.skipped()[0].reason, "the folder could not be read (Permission denied)");
  EXPECT_EQ(logger.Count(), 3);

  pathLogger unreachable = scanned(t.path("Shut/In"));  // cannot even tell whether it exists
  EXPECT_EQ(unreachable.skippedFolders(), 1);
  EXPECT_TRUE(unreachable.pathNames()->empty());

  pathLogger shut = scanned(t.path("Shut"));  // the start itself
  EXPECT_EQ(shut.skippedFolders(), 1);
  EXPECT_EQ(shut.Count(), 1);
}

TEST(PathLogger, ReportsProgressAfterEachFolderAndStopsWhenTheHandlerThrows) {
  ExampleTree t;
  pathLogger logger;
  logger.PathLogInit();
  std::vector<std::pair<int32_t, int32_t>> calls;
  logger.setProgressHandler([&](int32_t folders, int32_t files) { calls.emplace_back(folders, files); });
  logger.LogPath(t.r);
  // R (r1, r2), then A (a1), then B (b1), then A1 (x).
  EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {2, 3}, {3, 4}, {4, 5}}));

  struct Stop {};
  pathLogger stopped;
  stopped.PathLogInit();
  int seen = 0;
  stopped.setProgressHandler([&](int32_t, int32_t) {
    if (++seen == 2) throw Stop{};
  });
  EXPECT_THROW(stopped.LogPath(t.r), Stop);
  EXPECT_EQ(seen, 2);
}

TEST(PathLogger, AddsTheSeparatorOnlyWhenMissing) {
  EXPECT_EQ(EnsureTrailingSeparator("/"), "/");  // the root stays the root
  EXPECT_EQ(EnsureTrailingSeparator("/mail"), "/mail/");
  EXPECT_EQ(EnsureTrailingSeparator("/mail/"), "/mail/");
  EXPECT_EQ(EnsureTrailingSeparator(""), "/");
}

}  // namespace
}  // namespace messagelist
