// The server's store: its per-folder message index and its mailbox layout.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <new>

#include "cli/server_status.h"
#include "conversion/folder_path.h"
#include "conversion/mailbox_layout.h"
#include "conversion/message_status.h"
#include "conversion/server_index.h"
#include "temp_dir.h"

namespace conversion {
namespace {

std::string le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string header(uint32_t version) {
  std::string h = le32(version) + le32(77) + le32(9) + le32(3) + std::string(16, '\0') + "\r\n";
  return h + std::string(36 - h.size(), '\0');
}

std::string record(const std::string& name, uint8_t flags) {
  std::string r = name + std::string(23 - name.size(), '\0');
  r += static_cast<char>(flags);
  return r + le32(5) + le32(1234) + le32(1700000000);
}

TEST(ServerIndex, ReadsEveryRecordAndRefusesDamagedIndexes) {
  const ServerIndex index = ParseServerIndex(header(1) + record("md5000.msg", kServerSeen | kServerAnswered) +
                                             record("MD5001.MSG", kServerFlagged | kServerDeleted | kServerDraft));
  ASSERT_EQ(index.kind, ServerIndex::Kind::Read);
  EXPECT_EQ(index.find("MD5000.msg"), uint8_t{kServerSeen | kServerAnswered});
  EXPECT_EQ(index.find("md5001.msg"), uint8_t{kServerFlagged | kServerDeleted | kServerDraft});
  EXPECT_EQ(index.find("md5002.msg"), std::nullopt);

  for (const std::string& bytes : {header(2) + record("a.msg", kServerSeen), header(1) + record("a.msg", 0).substr(0, 20),
                                   header(1).substr(0, 30)}) {
    const ServerIndex damaged = ParseServerIndex(bytes);
    EXPECT_EQ(damaged.kind, ServerIndex::Kind::Unusable);
    EXPECT_FALSE(damaged.problem.empty());
  }

  test::TempDir dir;
  EXPECT_EQ(ReadServerIndex(dir.path()).kind, ServerIndex::Kind::Missing);
  dir.write("imap.mrk", header(1) + record("x.msg", kServerSeen));
  const ServerIndex found = ReadServerIndex(dir.path());
  EXPECT_EQ(found.kind, ServerIndex::Kind::Read);
  EXPECT_TRUE(std::filesystem::equivalent(found.file, dir.path() / "imap.mrk"));  // Windows may give "IMAP.MRK"
}

#ifndef _WIN32  // POSIX links, devices, permissions and address-space limits
// Runs `check` in a child process, its address space limited to `addressSpace` bytes when
// given; as root the child becomes the user nobody, so that file permissions apply to it.
bool passesInChild(const std::function<bool()>& check, std::optional<rlim_t> addressSpace = std::nullopt) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer reserves more address space than any limit
    const rlimit limit{addressSpace.value_or(RLIM_INFINITY), addressSpace.value_or(RLIM_INFINITY)};
    if (addressSpace && setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
#endif
    try {
      _exit(check() ? 0 : 1);
    } catch (...) {
      _exit(3);
    }
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ServerIndex, SaysWhatStandsInPlaceOfAnIndexFile) {
  test::TempDir dir;
  const auto store = dir.path() / "store";
  auto problemOf = [&](const std::string& folder) { return ReadServerIndex(store / folder, {store}).problem; };
  auto says = [](const std::string& problem, const std::string& words) {
    return problem.find(words) != std::string::npos;
  };

  // More records than the header's next UID (9) allows: refused before a byte of them is read,
  // so a sparse index of 3 GB does not need 3 GB of memory.
  EXPECT_TRUE(says(ParseServerIndex(header(1) + std::string(10 * 36, 'x')).problem, "damaged"));
  dir.write("store/huge/IMAP.MRK", header(1));
  std::filesystem::resize_file(store / "huge" / "IMAP.MRK", 3'000'000'024);
  EXPECT_TRUE(passesInChild([&] { return says(problemOf("huge"), "3000000024 bytes make 83333333 records"); },
                            rlim_t{1} << 30));

  std::filesystem::create_directories(store / "folder" / "imap.mrk");
  EXPECT_EQ(problemOf("folder"), "it is a folder, not a file");
  std::filesystem::create_directories(store / "pipe");
  ASSERT_EQ(mkfifo((store / "pipe" / "IMAP.MRK").c_str(), 0644), 0);
  EXPECT_EQ(problemOf("pipe"), "it is a named pipe, not a file");
  std::filesystem::create_directories(store / "device");
  std::filesystem::create_symlink("/dev/null", store / "device" / "IMAP.MRK");
  EXPECT_EQ(ReadServerIndex(store / "device", {"/dev"}).problem, "it is a link to a character device, not a file");
  EXPECT_TRUE(says(problemOf("device"), "it is a link to /dev/null, outside the store, and is not followed"));
  std::filesystem::create_directories(store / "dangling");
  std::filesystem::create_symlink("gone", store / "dangling" / "IMAP.MRK");
  EXPECT_EQ(problemOf("dangling"), "it is a link to something that does not exist");
  std::filesystem::create_directories(store / "loop");
  std::filesystem::create_symlink("IMAP.MRK", store / "loop" / "IMAP.MRK");
  EXPECT_TRUE(says(problemOf("loop"), "a link that cannot be followed (Too many levels of symbolic links)"));

  dir.write("outside/IMAP.MRK", header(1) + record("x.msg", kServerSeen));
  std::filesystem::create_directories(store / "away");
  std::filesystem::create_symlink("../../outside/IMAP.MRK", store / "away" / "IMAP.MRK");
  EXPECT_TRUE(says(problemOf("away"), "outside the store"));
  std::filesystem::create_directories(store / "near");
  std::filesystem::create_symlink("../../store/huge/../../outside/IMAP.MRK", store / "near" / "IMAP.MRK");
  EXPECT_TRUE(says(problemOf("near"), "outside the store"));
  dir.write("store/real/IMAP.MRK", header(1) + record("x.msg", kServerFlagged));
  std::filesystem::create_directories(store / "follow");
  std::filesystem::create_symlink("../real/IMAP.MRK", store / "follow" / "IMAP.MRK");
  EXPECT_EQ(ReadServerIndex(store / "follow", {store}).find("x.msg"), uint8_t{kServerFlagged});
  std::filesystem::create_symlink("../outside", store / "linked");
  EXPECT_EQ(ReadServerIndex(store / "linked", {store}).kind, ServerIndex::Kind::Read);  // the folder's own file

  // Unreadable: as root only through a child that is not (see passesInChild).
  dir.write("store/locked/IMAP.MRK", header(1));
  std::filesystem::permissions(store / "locked" / "IMAP.MRK", std::filesystem::perms::none);
  EXPECT_TRUE(passesInChild([&] { return problemOf("locked") == "it cannot be opened (Permission denied)"; }));
  for (const char* folder : {"huge", "folder", "pipe", "device", "dangling", "loop", "away"}) {
    EXPECT_EQ(ReadServerIndex(store / folder, {store}).kind, ServerIndex::Kind::Unusable) << folder;
  }
}

#endif

TEST(ServerStatus, NeverAnswersForAFolderWithAnotherFoldersRecords) {
  cli::ServerStatus status([](const std::filesystem::path& folder) {
    if (folder == "/s/b") throw std::bad_alloc();
    return ParseServerIndex(header(1) + record("1.msg", kServerSeen | kServerFlagged));
  });
  EXPECT_TRUE(status.of("/s/a/1.msg").flagged);
  for (const char* file : {"/s/b/1.msg", "/s/b/2.msg"}) {
    const MessageStatus state = status.of(file);
    EXPECT_TRUE(state.read && !state.flagged) << file;
  }
  const auto warnings = status.takeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
#ifdef _WIN32
  EXPECT_EQ(warnings[0], "\\s\\b\\IMAP.MRK cannot be used: it could not be read (std::bad_alloc); the messages of \\s\\b "
                         "are stored as read");
#else
  EXPECT_EQ(warnings[0], "/s/b/IMAP.MRK cannot be used: it could not be read (std::bad_alloc); the messages of /s/b "
                         "are stored as read");
#endif
}

TEST(MessageStatus, FollowsTheServerFlags) {
  const MessageStatus unread = StatusFromServerFlags(kServerRecent);
  EXPECT_EQ(MessageFlagsFor(unread, false), 0);
  const MessageStatus all = StatusFromServerFlags(0x3F);
  EXPECT_TRUE(all.read && all.answered && all.flagged && all.draft && all.deleted);
  EXPECT_EQ(MessageFlagsFor(all, true), 0x01 | 0x08 | 0x10);

  pst::messaging::MessageContent message;
  AddStatusProperties(MessageStatus{}, message);
  EXPECT_TRUE(message.props.empty() && message.named.empty());
  AddStatusProperties(all, message);
  auto value = [&](pst::PropTag tag) -> std::optional<int32_t> {
    for (const auto& p : message.props)
      if (p.tag == tag) return std::get<int32_t>(p.value);
    return std::nullopt;
  };
  EXPECT_EQ(value(0x10810003), 102);    // replied to the sender
  EXPECT_EQ(value(0x10800003), 0x105);  // the replied icon
  EXPECT_EQ(value(0x10900003), 2);      // flagged for follow-up
  EXPECT_EQ(message.named.size(), 4u);
}

TEST(MailboxLayout, GivesEveryMailboxAndTopFolderItsOwnStore) {
  test::TempDir dir;
  const auto root = dir.path() / "MDaemon";
  std::filesystem::create_directories(root / "Users" / "example.com" / "alice");
  std::filesystem::create_directories(root / "Public Folders");
  std::string why;
  const auto layout = DetectStoreLayout(root, &why);
  ASSERT_TRUE(layout) << why;
  auto place = [&](const StoreLayout& l, const std::string& relative) {
    const auto p = PlaceOf(l, root / relative);
    return p ? p->store + "|" + p->folderPath + (p->isMailbox ? "|mailbox" : "") : std::string("none");
  };
  EXPECT_EQ(place(*layout, "Users/example.com/alice/1.msg"), "alice@example.com|Inbox|mailbox");
  EXPECT_EQ(place(*layout, "Users/example.com/alice/Lists.imap/Work.IMAP/1.msg"),
            "alice@example.com|Lists\\Work|mailbox");
  EXPECT_EQ(place(*layout, "Users/example.com/alice/Deleted Items.IMAP/1.msg"),
            "alice@example.com|Deleted Items|mailbox");
  EXPECT_EQ(place(*layout, "Public Folders/News.IMAP/1.msg"), "Public Folders|News");
  EXPECT_EQ(place(*layout, "Public Folders/1.msg"), "Public Folders|Public Folders");
  EXPECT_EQ(PlaceOf(*layout, dir.path() / "elsewhere" / "1.msg"), std::nullopt);
#ifndef _WIN32  // Windows names are Unicode, and a backslash separates folders there
  EXPECT_EQ(place(*layout, "Users/example.com/j\xfcrgen/Entw\xfcrfe.IMAP/1.msg"),
            "j\u00fcrgen@example.com|Entw\u00fcrfe|mailbox");
  // A backslash stays inside its name: one mailbox, one folder, as in a run into one PST.
  const std::string stand(kBackslashStandIn);
  EXPECT_EQ(place(*layout, "Users/example.com/back\\slash/x\\y.IMAP/1.msg"),
            "back" + stand + "slash@example.com|x" + stand + "y|mailbox");
#endif
  // Two mailboxes whose addresses read the same are still told apart by their folders.
  EXPECT_EQ(PlaceOf(*layout, root / "Users/b/c@a/1.msg")->folder, "Users/b/c@a");
  EXPECT_EQ(PlaceOf(*layout, root / "Users/a@b/c/1.msg")->folder, "Users/a@b/c");
  EXPECT_EQ(PlaceOf(*layout, root / "Public Folders/News.IMAP/1.msg")->folder, "Public Folders");
#ifndef _WIN32
  // A Latin-1 mailbox reads as its UTF-8 twin but stays a mailbox of its own.
  EXPECT_NE(PlaceOf(*layout, root / "Users/example.com/j\xfcrgen/1.msg")->folder,
            PlaceOf(*layout, root / "Users/example.com/j\u00fcrgen/1.msg")->folder);
#endif

  const auto users = DetectStoreLayout(root / "Users", &why);
  ASSERT_TRUE(users);
  EXPECT_EQ(users->given, StoreLayout::Given::UsersFolder);
  EXPECT_EQ(place(*users, "Users/example.com/alice/Sent.IMAP/1.msg"), "alice@example.com|Sent|mailbox");
  const auto domain = DetectStoreLayout(root / "Users" / "example.com" / "", &why);
  ASSERT_TRUE(domain);
  EXPECT_EQ(domain->given, StoreLayout::Given::DomainFolder);
  EXPECT_EQ(place(*domain, "Users/example.com/alice/1.msg"), "alice@example.com|Inbox|mailbox");
  EXPECT_FALSE(DetectStoreLayout(root / "Public Folders", &why));
  EXPECT_NE(why.find("Users"), std::string::npos);
}

}  // namespace
}  // namespace conversion
