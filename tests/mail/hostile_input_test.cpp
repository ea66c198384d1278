// Header fields crafted against the reader: they must cost only bounded stack and memory, and
// whatever can be kept of them is kept.
#include <gtest/gtest.h>

#include <algorithm>

#include "mail/addresses.h"
#include "mail/message_builder.h"
#include "props.h"

namespace {

using namespace mailtest;
using namespace mail::tags;

std::string repeated(std::string_view piece, int times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::string base64(std::string_view bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    if (out.size() % 77 == 76) out += '\n';
  }
  return out;
}

// Each overflowed GMime's stack (SIGSEGV) before the nesting was bounded.
TEST(HostileInput, DeeplyNestedAddressFieldsAreReadWhereverTheyStand) {
  const std::string nestedGroups = repeated("g:", 45000) + " x@y " + repeated(";", 45000);
  const std::string unclosedGroups = repeated("g:", 100000);
  const std::string nestedComments = repeated("(", 100000) + "c" + repeated(")", 100000) + " x@y";
  // GMime takes a quote that nothing closes for a plain character, and a quote or parenthesis
  // in a domain literal for a character of the domain: none of it may hide the nesting.
  const std::string unclosedQuote = "\"" + unclosedGroups;
  const std::string quoteInLiteral = "x@[\"] " + unclosedGroups + "\"";
  const std::string parenthesisInLiteral = "x@[(] " + unclosedGroups + ")";
  for (const char* field : {"To", "Cc", "From", "Reply-To"}) {
    for (const std::string* value :
         {&nestedGroups, &unclosedGroups, &nestedComments, &unclosedQuote, &quoteInLiteral, &parenthesisInLiteral}) {
      SCOPED_TRACE(std::string(field) + ": " + value->substr(0, 8));
      const auto result = importText(std::string("Subject: s\n") + field + ": " + *value + "\n\nbody\n");
      ASSERT_TRUE(result.ok) << result.reason;
      EXPECT_NE(text(result.message.props, PidTagTransportMessageHeaders)->find(*value), std::string::npos);
    }
  }

  // Inside an attached message GMime parses the fields itself; the attached message keeps its
  // header text as it was, markers put back.
  const std::string inner = "Subject: inner\nTo: " + nestedGroups + "\nCc: ok@x.org\n\ninner body\n";
  for (const std::string& part : {"Content-Type: message/rfc822\n\n" + inner,
                                  "Content-Type: message/rfc822\nContent-Transfer-Encoding: base64\n\n" + base64(inner)}) {
    const auto result = importText("Subject: outer\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                                   "Content-Type: text/plain\n\nsee attached\n--b\n" + part + "\n--b--\n");
    ASSERT_TRUE(result.ok) << result.reason;
    ASSERT_EQ(result.message.attachments.size(), 1u);
    const auto* embedded = result.message.attachments[0].embedded.get();
    ASSERT_NE(embedded, nullptr);
    EXPECT_EQ(text(embedded->props, PidTagSubject), "inner");
    EXPECT_EQ(recipientAddresses(*embedded, kRecipientCc), std::vector<std::string>{"ok@x.org"});
    EXPECT_NE(text(embedded->props, PidTagTransportMessageHeaders)->find("To: " + nestedGroups + "\r\n"), std::string::npos);
  }
}

TEST(HostileInput, ManyRecipientsKeepEveryNameInBoundedRows) {
  const int count = static_cast<int>(mail::kMaxRecipientRows) + 500;
  std::string to;
  for (int i = 0; i < count; ++i) to += (i ? ",\n " : "") + std::string("u") + std::to_string(i) + "@x.org";
  const auto result = importText("From: a@x.org\nTo: " + to + "\nCc: last@x.org\nReply-To: " + to + "\n\nbody\n");
  ASSERT_TRUE(result.ok);
  const auto& m = result.message;
  ASSERT_EQ(m.recipients.size(), mail::kMaxRecipientRows);
  EXPECT_EQ(text(m.recipients.back(), PidTagEmailAddress), "u" + std::to_string(mail::kMaxRecipientRows - 1) + "@x.org");
  // Every name stays in the display list, the Cc beyond the bound too.
  const std::string display = text(m.props, PidTagDisplayTo).value();
  EXPECT_EQ(std::count(display.begin(), display.end(), ';'), count - 1);
  EXPECT_NE(display.rfind("; u" + std::to_string(count - 1) + "@x.org"), std::string::npos);
  EXPECT_EQ(text(m.props, PidTagDisplayCc), "last@x.org");
  const std::string replyNames = text(m.props, PidTagReplyRecipientNames).value();
  EXPECT_EQ(std::count(replyNames.begin(), replyNames.end(), ';') + 1, static_cast<long>(mail::kMaxRecipientRows));
  const pst::Bytes entries = bytes(m.props, PidTagReplyRecipientEntries).value();
  EXPECT_EQ(entries[0] | entries[1] << 8, static_cast<int>(mail::kMaxRecipientRows));
}

// A list long enough to be parsed entry by entry reads as the same list read whole.
TEST(HostileInput, LongAddressListsReadEntryByEntryAsAWhole) {
  const std::string entries =
      "\"Doe, John\" <john@x.org>, Team: t1@x.org, t2@x.org;, (comment, with comma) c@x.org, "
      "<@route,@other:r@x.org>, =?utf-8?Q?J=C3=B6rg?= <jorg@x.org>";
  std::string longList = entries;
  while (longList.size() < 70000) longList += ",\n " + entries;
  const auto whole = mail::parseAddressList(entries);
  const auto pieces = mail::parseAddressList(longList);
  ASSERT_EQ(whole.size(), 6u);
  ASSERT_EQ(pieces.size() % whole.size(), 0u);
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].name, whole[i % whole.size()].name);
    EXPECT_EQ(pieces[i].address, whole[i % whole.size()].address);
  }
}

}  // namespace
