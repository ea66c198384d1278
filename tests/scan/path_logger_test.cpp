#include "messagelist/path_logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "messagelist/message_filter.h"
#include "temp_tree.h"

namespace messagelist {
namespace {

using scantest::TempTree;
using Strings = std::vector<std::string>;

template <class T>
std::vector<T> values(const std::shared_ptr<KeyedList<T>>& list) {
  return list->values();
}

// R holds r1, r2 and the subfolders A (a1, subfolder A1 with x) and B (b1); created out of
// name order so that the listing order of the file system cannot hide a missing sort.
void makeBreadthFirstTree(const TempTree& tree) {
  tree.file("R/B/b1");
  tree.file("R/r2");
  tree.file("R/A/A1/x");
  tree.file("R/A/a1");
  tree.file("R/r1");
}

TEST(PathLogger, WalksBreadthFirstQueueingSubfoldersBeforeFiles) {
  TempTree tree;
  makeBreadthFirstTree(tree);
  const std::string r = tree.path("R");

  pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly(false);
  logger.LogPath(r);

  EXPECT_EQ(values(logger.pathNames()), (Strings{r + "/", r + "/A/", r + "/B/", r + "/A/A1/"}));
  for (const char* key : {"K0", "K2", "K3", "K4"}) EXPECT_TRUE(logger.pathNames()->contains(key)) << key;
  EXPECT_FALSE(logger.pathNames()->contains("K1"));

  EXPECT_EQ(values(logger.fullFileNames()),
            (Strings{r + "/r1", r + "/r2", r + "/A/a1", r + "/B/b1", r + "/A/A1/x"}));
  EXPECT_EQ(values(logger.fileNames()), (Strings{"r1", "r2", "a1", "b1", "x"}));
  EXPECT_EQ(values(logger.pathPointers()), (std::vector<int32_t>{1, 1, 2, 3, 4}));
  for (const char* key : {"K1", "K2", "K3", "K4", "K5"}) {
    EXPECT_TRUE(logger.fullFileNames()->contains(key)) << key;
    EXPECT_TRUE(logger.fileNames()->contains(key)) << key;
    EXPECT_TRUE(logger.pathPointers()->contains(key)) << key;
  }
  EXPECT_EQ(logger.Count(), 6);
  EXPECT_EQ(logger.skippedFolders(), 0);
}

TEST(PathLogger, FullPathModeLeavesNamesAndPointersEmpty) {
  TempTree tree;
  makeBreadthFirstTree(tree);
  pathLogger logger;
  logger.PathLogInit();
  EXPECT_TRUE(logger.fullFileNamesOnly());
  logger.LogPath(tree.path("R") + "/");  // a trailing separator is not doubled

  EXPECT_EQ(logger.pathNames()->item(1), tree.path("R") + "/");
  EXPECT_EQ(logger.fullFileNames()->item(1), tree.path("R") + "/r1");
  EXPECT_EQ(logger.fullFileNames()->count(), 5u);
  EXPECT_TRUE(logger.fileNames()->empty());
  EXPECT_TRUE(logger.pathPointers()->empty());
}

TEST(PathLogger, OrdersEachFolderByTheBytesOfItsNames) {
  TempTree tree;
  for (const char* name : {"b", "\xC3\xA9", "a", "_", "B", "a0"}) tree.file(std::string("R/") + name);
  pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly(false);
  logger.LogPath(tree.path("R"));
  EXPECT_EQ(values(logger.fileNames()), (Strings{"B", "_", "a", "a0", "b", "\xC3\xA9"}));
}

TEST(PathLogger, EmptyFolderGivesOnlyTheStartEntryAndCountOne) {
  TempTree tree;
  tree.dir("Empty");
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("Empty"));
  EXPECT_EQ(values(logger.pathNames()), Strings{tree.path("Empty") + "/"});
  EXPECT_TRUE(logger.fullFileNames()->empty());
  EXPECT_EQ(logger.Count(), 1);
}

TEST(PathLogger, MissingFolderOrAFileChangesNothing) {
  TempTree tree;
  tree.file("R/one");
  pathLogger fresh;
  fresh.PathLogInit();
  fresh.LogPath(tree.path("nowhere"));
  EXPECT_EQ(fresh.Count(), 0);
  EXPECT_TRUE(fresh.fullFileNames()->empty());
  EXPECT_TRUE(fresh.pathNames()->empty());

  pathLogger used;
  used.PathLogInit();
  used.LogPath(tree.path("R"));
  used.LogPath(tree.path("nowhere"));  // no key clash: it returns before touching anything
  used.LogPath(tree.path("R/one"));
  EXPECT_EQ(used.Count(), 2);
  EXPECT_EQ(values(used.fullFileNames()), Strings{tree.path("R/one")});
  EXPECT_EQ(used.pathNames()->count(), 1u);
}

TEST(PathLogger, SecondScanWithoutInitFailsAtItsFirstAppend) {
  TempTree tree;
  makeBreadthFirstTree(tree);
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("R"));
  ASSERT_EQ(logger.Count(), 6);

  EXPECT_THROW(logger.LogPath(tree.path("R")), DuplicateKeyError);
  EXPECT_EQ(logger.Count(), 1);  // reset before the failing append
  EXPECT_EQ(logger.fullFileNames()->count(), 5u);
  EXPECT_EQ(logger.pathNames()->count(), 4u);

  logger.PathLogInit();  // a new scan after init works again
  logger.LogPath(tree.path("R"));
  EXPECT_EQ(logger.fullFileNames()->count(), 5u);
}

TEST(PathLogger, CallerKeepsItsListAcrossTerminateAndScannerStartsEmpty) {
  TempTree tree;
  makeBreadthFirstTree(tree);
  pathLogger logger;
  EXPECT_FALSE(logger.fullFileNamesOnly());
  EXPECT_EQ(logger.Count(), 0);
  EXPECT_THROW(logger.LogPath(tree.path("R")), std::logic_error);  // not prepared yet

  logger.PathLogInit();
  logger.fullFileNamesOnly(false);
  logger.LogPath(tree.path("R"));
  std::shared_ptr<StringKeyedList> kept = logger.fullFileNames();
  logger.Terminate();

  EXPECT_EQ(kept->count(), 5u);
  EXPECT_TRUE(logger.fullFileNames()->empty());
  EXPECT_TRUE(logger.pathNames()->empty());
  EXPECT_EQ(logger.Count(), 6);
  EXPECT_FALSE(logger.fullFileNamesOnly());
  EXPECT_THROW(logger.LogPath(tree.path("R")), std::logic_error);  // released: init again

  logger.PathLogInit();
  EXPECT_TRUE(logger.fullFileNamesOnly());
  EXPECT_EQ(logger.Count(), 6);  // only LogPath resets the counter
}

TEST(PathLogger, RecordsEveryRegularFileAndTheFilterPicksMessages) {
  TempTree tree;
  for (const char* name : {"A.MSG", "b.Msg", "c.msg", "d.eml", "e.msg.bak", "f.msgx", "g.msg.txt",
                           "h.msg ", ".hidden.msg", "msg", ".msg"})
    tree.file(std::string("R/") + name);
  tree.file("R/.cfg/x.msg");
  ASSERT_EQ(mkfifo(tree.path("R/pipe.msg").c_str(), 0600), 0);  // opening it would block

  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("R"));
  ASSERT_EQ(logger.fullFileNames()->count(), 12u);

  Strings kept;
  for (const std::string& p : *logger.fullFileNames())
    if (IsMessageFileName(p)) kept.push_back(p.substr(tree.path("R").size() + 1));
  EXPECT_EQ(kept, (Strings{".hidden.msg", ".msg", "A.MSG", "b.Msg", "c.msg", "h.msg ", ".cfg/x.msg"}));
}

TEST(PathLogger, DoesNotFollowFolderLinksButRecordsFileLinks) {
  TempTree tree;
  tree.file("R/real.msg");
  tree.file("R/sub/own.msg");
  tree.file("Outside/far.msg");
  namespace fs = std::filesystem;
  fs::create_directory_symlink("..", tree.root() / "R/sub/up");
  fs::create_directory_symlink(tree.root() / "R", tree.root() / "R/sub/loop");
  fs::create_directory_symlink(tree.root() / "Outside", tree.root() / "R/outside");
  fs::create_symlink("../real.msg", tree.root() / "R/sub/link.msg");
  fs::create_symlink("missing.msg", tree.root() / "R/sub/dangling.msg");

  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("R"));
  const std::string r = tree.path("R");
  EXPECT_EQ(values(logger.pathNames()), (Strings{r + "/", r + "/sub/"}));
  EXPECT_EQ(values(logger.fullFileNames()), (Strings{r + "/real.msg", r + "/sub/link.msg", r + "/sub/own.msg"}));
  EXPECT_EQ(logger.skippedFolders(), 0);
}

TEST(PathLogger, StartFolderReachedThroughALinkIsScanned) {
  TempTree tree;
  tree.file("Real/a.msg");
  std::filesystem::create_directory_symlink(tree.root() / "Real", tree.root() / "Link");
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("Link"));
  EXPECT_EQ(values(logger.fullFileNames()), Strings{tree.path("Link") + "/a.msg"});
}

TEST(PathLogger, SkipsAndCountsUnreadableFoldersAndGoesOn) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root: folder permissions do not stop root";
  TempTree tree;
  tree.file("R/locked/hidden.msg");
  tree.file("R/locked/deeper/more.msg");
  tree.file("R/open/o.msg");
  tree.file("R/top.msg");
  ASSERT_EQ(chmod(tree.path("R/locked").c_str(), 0), 0);

  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tree.path("R"));
  const std::string r = tree.path("R");
  EXPECT_EQ(values(logger.pathNames()), (Strings{r + "/", r + "/locked/", r + "/open/"}));
  EXPECT_EQ(values(logger.fullFileNames()), (Strings{r + "/top.msg", r + "/open/o.msg"}));
  EXPECT_EQ(logger.skippedFolders(), 1);
  EXPECT_EQ(logger.Count(), 3);

  ASSERT_EQ(chmod(r.c_str(), 0), 0);  // the start itself
  logger.PathLogInit();
  logger.LogPath(r);
  EXPECT_EQ(logger.skippedFolders(), 1);
  EXPECT_TRUE(logger.fullFileNames()->empty());
  EXPECT_EQ(logger.Count(), 1);
}

TEST(PathLogger, SeparatorIsAddedOnlyWhenMissing) {
  EXPECT_EQ(EnsureTrailingSeparator("/"), "/");  // the root stays the root
  EXPECT_EQ(EnsureTrailingSeparator("/mail"), "/mail/");
  EXPECT_EQ(EnsureTrailingSeparator("/mail/"), "/mail/");
  EXPECT_EQ(EnsureTrailingSeparator(""), "/");
}

}  // namespace
}  // namespace messagelist
