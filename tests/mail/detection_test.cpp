// Files that are not Internet messages are refused with a reason; messages are never refused.
#include <gtest/gtest.h>

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

}  // namespace
