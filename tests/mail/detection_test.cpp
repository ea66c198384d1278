// Files that are not Internet messages are refused with a reason; messages are never refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "mail/importer.h"
#include "mail/message_detection.h"

namespace {

TEST(Detection, RefusesWhatIsNoMessageWithAReasonThatSaysWhatToDo) {
  struct Case {
    std::string bytes;
    std::string reasonPart;
  };
  const std::vector<Case> cases = {
      {"", "empty"},
      {std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'), "Outlook"},
      {"This is a simple message not having headers.\nThe whole text is body.\n", "not an Internet mail message"},
      {"\n\nFrom: a@x.org\n\nbody", "not an Internet mail message"},        // blank lines first: no header block
      {"X-Custom: 1\nX-Other: 2\n\nbody", "not an Internet mail message"},  // fields, but none that mail carries
      {"From a@x Mon Jan 1\n", "not an Internet mail message"},              // an mbox line and nothing else
      {" Subject: folded start\n\nbody", "not an Internet mail message"},
      {"<html><body>Subject: hi</body></html>", "not an Internet mail message"},
      // Mail header lines, but nothing a reader could be shown.
      {"Path: /usr/local/bin\nKeywords:\nComments: \n", "nothing to show as a message"},
      {"Keywords: \nComments:\n\n  \n\t\n", "\"Keywords:\", \"Comments:\""},
  };
  for (const Case& c : cases) {
    const mail::ImportResult result = mail::importMessageBytes(c.bytes, 1);
    EXPECT_FALSE(result.ok) << c.bytes.substr(0, 40);
    EXPECT_NE(result.reason.find(c.reasonPart), std::string::npos) << result.reason;
    EXPECT_TRUE(result.message.props.empty());
  }
}

TEST(Detection, RandomBytesAreRefusedDeterministically) {
  std::mt19937 random(42);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(1 + random() % 2000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const auto first = mail::detectMessage(bytes);
    const auto second = mail::detectMessage(bytes);
    EXPECT_EQ(first.isMessage, second.isMessage);
    EXPECT_FALSE(mail::importMessageBytes(bytes, 1).ok && !first.isMessage);
  }
}

TEST(Detection, AcceptsMessagesInTheirUsualShapes) {
  const std::vector<std::string> messages = {
      "From: a@x.org\r\n\r\nbody",
      "Subject: only a subject\n",  // no body at all
      "From sender@x.org Mon Jan  1 00:00:00 2026\nSubject: mbox\n\nbody",
      "Received: from a by b; Mon, 1 Jan 2026 00:00:00 +0000\nX-Any: 1\n\n",
      "subject : spaces before the colon\n\n",
      "Subject: mac\rFrom: a@x.org\r\rbody\r",
      "X-Mailer: first\nContent-Type: text/plain\n\nbody",  // a known field need not be first
      "\xEF\xBB\xBFSubject: saved by a Windows editor\n\nbody",
  };
  for (const std::string& message : messages) {
    const auto detection = mail::detectMessage(message);
    EXPECT_TRUE(detection.isMessage) << message;
    const auto result = mail::importMessageBytes(message, 1);
    EXPECT_TRUE(result.ok) << message << " -> " << result.reason;
  }
  EXPECT_GT(mail::detectMessage("From x Mon\nSubject: s\n\n").headerStart, 0u);
}

TEST(Detection, FileErrorsAreReportedNotThrown) {
  const auto dir = std::filesystem::temp_directory_path() / "vantorel-mail-detection";
  std::filesystem::create_directories(dir);
  const auto empty = dir / "empty.msg";
  std::ofstream(empty).close();
  auto result = mail::importMessageFile(empty);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.reason.find("empty"), std::string::npos);

  result = mail::importMessageFile(dir / "missing.msg");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.reason.find("cannot be opened"), std::string::npos);

  result = mail::importMessageFile(dir);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.reason.find("folder"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// Whatever is named x.msg, only a regular file is read: a named pipe would block the reader
// for good, a device never ends or has effects of its own.
TEST(FileReading, OnlyRegularFilesAreReadAndNothingWaitsForThem) {
  const auto dir = std::filesystem::temp_directory_path() / ("vantorel-file-types-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::pair<std::filesystem::path, std::string>> cases;
  ASSERT_EQ(mkfifo((dir / "pipe.msg").c_str(), 0600), 0);
  cases.push_back({dir / "pipe.msg", "not a regular file (a named pipe)"});
  for (const char* device : {"/dev/zero", "/dev/urandom"}) {
    const auto link = dir / (std::filesystem::path(device).filename().string() + ".msg");
    std::filesystem::create_symlink(device, link);
    cases.push_back({link, "not a regular file (a character device)"});
  }
  for (const char* device : {"/dev/loop0", "/dev/vda", "/dev/sda", "/dev/nvme0n1"}) {
    struct stat info {};
    if (stat(device, &info) == 0 && S_ISBLK(info.st_mode)) {
      std::filesystem::create_symlink(device, dir / "disk.msg");
      cases.push_back({dir / "disk.msg", "not a regular file (a block device)"});
      break;
    }
  }
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir / "socket.msg").string();
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  cases.push_back({dir / "socket.msg", "not a regular file (a socket)"});
  for (const auto& [path, reason] : cases) {
    const auto result = mail::importMessageFile(path);
    EXPECT_FALSE(result.ok) << path;
    EXPECT_NE(result.reason.find(reason), std::string::npos) << path << ": " << result.reason;
  }
  close(listening);
  std::filesystem::remove_all(dir);
}

TEST(FileReading, TooLargeIsRefusedUnreadWithTheLimitAndAccessTimeStays) {
  const auto path = std::filesystem::temp_directory_path() / ("vantorel-large-" + std::to_string(getpid()) + ".msg");
  {
    std::ofstream(path) << "Subject: s\n\nbody\n";
  }
  // Reading must not count as use: the access time stays, even where it lags the change time.
  struct timespec times[2] = {{1500000000, 0}, {UTIME_OMIT, UTIME_OMIT}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  ASSERT_TRUE(mail::importMessageFile(path).ok);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, 1500000000);

  // A sparse file of 2 GiB: refused from its size, so nothing is read and no memory taken.
  std::filesystem::resize_file(path, mail::kMaxMessageFileBytes + 1);
  const auto result = mail::importMessageFile(path);
  std::filesystem::remove(path);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.reason.find("2,147,483,648 bytes"), std::string::npos) << result.reason;
  EXPECT_NE(result.reason.find("2,147,483,647 bytes (2 GiB)"), std::string::npos) << result.reason;
}

}  // namespace
