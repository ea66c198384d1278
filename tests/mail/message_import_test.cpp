// Whole messages through the importer: envelope, recipients, dates, bodies, attachments.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "mail/message_builder.h"
#include "props.h"

namespace {

using namespace mailtest;
using namespace mail::tags;

TEST(Envelope, SendersRecipientsAndDisplayLists) {
  const auto result = importText(
      "From: =?utf-8?Q?J=C3=B6rg?= <jorg@x.org>\r\n"
      "Sender: Assistant <assist@x.org>\r\n"
      "Reply-To: a@x.org, B <b@x.org>\r\n"
      "To: \"Doe, John\" <john@x.org>, mary@x.org\r\n"
      "To: second-line@x.org\r\n"
      "Cc: Team: t1@x.org, t2@x.org;\r\n"
      "Bcc: hidden@x.org\r\n"
      "X-MDaemon-Deliver-To: Mary@x.org\r\n"
      "Subject: Re: Plan\r\n\r\nbody\r\n");
  ASSERT_TRUE(result.ok) << result.reason;
  const auto& m = result.message;
  EXPECT_EQ(text(m.props, PidTagSentRepresentingName), "Jörg");
  EXPECT_EQ(text(m.props, PidTagSentRepresentingEmailAddress), "jorg@x.org");
  EXPECT_EQ(text(m.props, PidTagSentRepresentingAddressType), "SMTP");
  EXPECT_EQ(text(m.props, PidTagSenderName), "Assistant");
  EXPECT_EQ(text(m.props, PidTagSenderSmtpAddress), "assist@x.org");
  EXPECT_TRUE(bytes(m.props, PidTagSenderEntryId).has_value());
  EXPECT_EQ(text(m.props, PidTagReplyRecipientNames), "a@x.org;B");
  EXPECT_EQ(recipientAddresses(m, kRecipientTo), (std::vector<std::string>{"john@x.org", "mary@x.org", "second-line@x.org"}));
  EXPECT_EQ(recipientAddresses(m, kRecipientCc), (std::vector<std::string>{"t1@x.org", "t2@x.org"}));
  EXPECT_EQ(recipientAddresses(m, kRecipientBcc), (std::vector<std::string>{"hidden@x.org"}));
  EXPECT_EQ(text(m.props, PidTagDisplayTo), "Doe, John; mary@x.org; second-line@x.org");
  EXPECT_EQ(text(m.props, PidTagDisplayBcc), "hidden@x.org");
  const auto& row = m.recipients.front();
  EXPECT_EQ(number(row, PidTagObjectType), kObjectTypeMailUser);
  // The mailbox the server delivered to is one of the To recipients.
  EXPECT_EQ(number(m.props, PidTagMessageToMe), 1);
  EXPECT_EQ(number(m.props, PidTagMessageCcMe), 0);
  EXPECT_EQ(bytes(row, PidTagEntryId), bytes(row, PidTagRecipientEntryId));
  EXPECT_EQ(text(m.props, PidTagSubjectPrefix), "Re: ");
  EXPECT_EQ(text(m.props, PidTagConversationTopic), "Plan");
  EXPECT_EQ(text(m.props, PidTagMessageClass), "IPM.Note");
  EXPECT_EQ(number(m.props, PidTagMessageFlags), kMessageFlagRead);
}

TEST(Envelope, UndisclosedRecipientsAndMissingFrom) {
  const auto result = importText("Return-Path: <bounce@x.org>\nTo: undisclosed-recipients:;\nSubject: s\n\nb\n");
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.message.recipients.empty());
  EXPECT_EQ(text(result.message.props, PidTagDisplayTo), "");
  // What Outlook leaves out: empty Cc and Bcc lines, an empty prefix, the normalized subject.
  for (PropTag absent : {PidTagDisplayCc, PidTagDisplayBcc, PidTagSubjectPrefix, PropTag{0x0E1D001F}})
    EXPECT_FALSE(find(result.message.props, absent)) << std::hex << absent;
  EXPECT_EQ(number(result.message.props, PidTagMessageToMe), 0);
  // Without Thread-Index: 0x01, five bytes of the submit time and a GUID of the topic.
  const auto index = bytes(result.message.props, PidTagConversationIndex);
  ASSERT_TRUE(index.has_value());
  EXPECT_EQ(index->size(), 22u);
  EXPECT_EQ((*index)[0], 0x01);
  // Mail of one topic shares the GUID, so Outlook shows it as one conversation.
  const auto other = bytes(importText("Subject: Re: s\n\nother").message.props, PidTagConversationIndex);
  ASSERT_TRUE(other.has_value());
  EXPECT_TRUE(std::equal(index->begin() + 6, index->end(), other->begin() + 6));
  // No From: the envelope sender is the best remaining answer to "who sent this".
  EXPECT_EQ(text(result.message.props, PidTagSentRepresentingEmailAddress), "bounce@x.org");
}

TEST(Envelope, IdentifiersHeadersAndMarks) {
  const auto result = importText(
      "From: a@x.org\nMessage-ID: <id1@x.org>\nIn-Reply-To: <id0@x.org>\nReferences: <a@x>\n <id0@x.org>\n"
      "Thread-Topic: The topic\nThread-Index: AQIDBAUGBwgJCgsMDQ4PEBESExQVFg==\nX-Priority: 1 (Highest)\n"
      "Sensitivity: Company-Confidential\nSubject: Fwd: x\n\nbody\n");
  ASSERT_TRUE(result.ok);
  const auto& p = result.message.props;
  EXPECT_EQ(text(p, PidTagInternetMessageId), "<id1@x.org>");
  EXPECT_EQ(text(p, PidTagInReplyToId), "<id0@x.org>");
  EXPECT_EQ(text(p, PidTagInternetReferences), "<a@x> <id0@x.org>");
  EXPECT_EQ(text(p, PidTagConversationTopic), "The topic");
  EXPECT_EQ(bytes(p, PidTagConversationIndex)->size(), 22u);
  EXPECT_EQ(number(p, PidTagImportance), 2);
  EXPECT_EQ(number(p, PidTagSensitivity), 3);
  const std::string headers = text(p, PidTagTransportMessageHeaders).value();
  EXPECT_EQ(headers.rfind("From: a@x.org\r\nMessage-ID: <id1@x.org>\r\n", 0), 0u);
  EXPECT_NE(headers.find("References: <a@x>\r\n <id0@x.org>\r\n"), std::string::npos);

  const auto plain = importText("From: a@x.org\nImportance: low\nX-Priority: 1\n\nb");
  EXPECT_EQ(number(plain.message.props, PidTagImportance), 0);  // Importance wins
  EXPECT_EQ(number(plain.message.props, PidTagSensitivity), 0);  // always written
}

TEST(Dates, SubmitAndDeliveryTimesWithFallbacks) {
  const std::string received =
      "Received: from relay by mx; Tue, 02 Jan 2024 10:00:05 +0000\n"
      "Received: from origin by relay; Tue, 02 Jan 2024 10:00:01 +0000\n";
  auto result = importText(received + "Date: Tue, 02 Jan 2024 11:00:00 +0100\nSubject: s\n\nb");
  EXPECT_EQ(time(result.message.props, PidTagClientSubmitTime), fileTime(1704189600));
  EXPECT_EQ(time(result.message.props, PidTagMessageDeliveryTime), fileTime(1704189605));

  result = importText("X-MDArrival-Date: Tue, 02 Jan 2024 10:00:09 +0000\n" + received + "Subject: s\n\nb");
  EXPECT_EQ(time(result.message.props, PidTagMessageDeliveryTime), fileTime(1704189609));
  EXPECT_EQ(time(result.message.props, PidTagClientSubmitTime), fileTime(1704189609));  // no Date: delivery

  result = importText("Date: garbage\nSubject: s\n\nb", 131000000000000000ULL);
  EXPECT_EQ(time(result.message.props, PidTagClientSubmitTime), 131000000000000000ULL);
  EXPECT_EQ(time(result.message.props, PidTagMessageDeliveryTime), 131000000000000000ULL);
}

TEST(Dates, FileWithoutDatesTakesItsModificationTime) {
  const auto path = std::filesystem::temp_directory_path() / "vantorel-mail-mtime.msg";
  std::ofstream(path) << "Subject: undated\n\nbody\n";
  std::filesystem::last_write_time(
      path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1500000000))));
  const auto result = mail::importMessageFile(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(time(result.message.props, PidTagClientSubmitTime), fileTime(1500000000));
}

TEST(Bodies, PlainHtmlAndHtmlOnly) {
  auto result = importText(
      "From: a@x.org\nContent-Type: multipart/alternative; boundary=b\n\n--b\n"
      "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\nGr=FC=DFe\n"
      "--b\nContent-Type: text/html; charset=iso-8859-1\n\n<p>Gr\xFC\xDF" "e</p>\n--b--\n");
  auto& p = result.message.props;
  EXPECT_EQ(text(p, PidTagBody), "Grüße");
  EXPECT_EQ(bytesAsText(bytes(p, PidTagHtml).value()), "<p>Gr\xFC\xDF" "e</p>");  // original bytes
  EXPECT_EQ(number(p, PidTagInternetCodepage), 28591);
  EXPECT_FALSE(find(p, PropTag{0x10160003}));  // no NativeBody: Outlook writes none

  result = importText("From: a@x.org\nContent-Type: text/html\n\n<html><body><h1>Title</h1><p>Text &amp; more</p></body></html>");
  EXPECT_EQ(text(result.message.props, PidTagBody), "Title\nText & more");
  EXPECT_EQ(number(result.message.props, PidTagInternetCodepage), 65001);

  // No MIME charset: the HTML's own meta tag says which one.
  result = importText("From: a@x.org\nContent-Type: text/html\n\n<html><head><meta http-equiv=\"Content-Type\" "
                      "content=\"text/html; charset=windows-1251\"></head><body>\xCC\xE8\xF0</body></html>");
  EXPECT_EQ(text(result.message.props, PidTagBody), "Мир");
  EXPECT_EQ(number(result.message.props, PidTagInternetCodepage), 1251);

  result = importText("From: a@x.org\nContent-Type: text/plain; charset=koi8-r\nContent-Transfer-Encoding: 8bit\n\n\xF0\xD2\xC9\xD7\xC5\xD4");
  EXPECT_EQ(text(result.message.props, PidTagBody), "Привет");
  EXPECT_EQ(number(result.message.props, PidTagInternetCodepage), 20866);
}

TEST(Bodies, UnknownTransferEncodingKeepsRawBytes) {
  const auto result = importText("From: a@x.org\nContent-Type: text/plain\nContent-Transfer-Encoding: x-gzip64\n\nraw =3D text\n");
  EXPECT_EQ(text(result.message.props, PidTagBody), "raw =3D text\n");
}

TEST(Bodies, LineEndsHeaderLengthAndBrokenBoundaries) {
  auto result = importText("Subject: mac\rFrom: a@x.org\r\rold mac text\r");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(text(result.message.props, PidTagSubject), "mac");
  EXPECT_EQ(text(result.message.props, PidTagBody), "old mac text\n");

  const std::string longSubject(5000, 'x');
  result = importText("From: a@x.org\nSubject: " + longSubject + "\n\nb");
  EXPECT_EQ(text(result.message.props, PidTagSubject), longSubject);

  result = importText("From: a@x.org\nContent-Type: multipart/mixed; boundary=\"never\"\n\n--other\n"
                      "Content-Type: text/plain\n\nstill here\n");
  ASSERT_TRUE(result.ok);
  const std::string everything = text(result.message.props, PidTagBody).value_or("") +
                                 (result.message.attachments.empty() ? "" : bytesAsText(bytes(result.message.attachments[0].props, PidTagAttachDataBinary).value()));
  EXPECT_NE(everything.find("still here"), std::string::npos);

  result = importText("Subject: no body\n");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(number(result.message.props, PidTagMessageFlags), kMessageFlagRead);
}

TEST(Bodies, TextAfterAHeaderBlockWithoutEmptyLineIsBody) {
  // A separator padded with a blank, and text right after the last field.
  auto result = importText("From: a@x.org\nSubject: padded\n \nfirst line\nsecond line\n");
  EXPECT_EQ(text(result.message.props, PidTagSubject), "padded");
  EXPECT_EQ(text(result.message.props, PidTagBody), "first line\nsecond line\n");
  result = importText("From: a@x.org\nSubject: none\nright after the fields\n\nnext paragraph\n");
  EXPECT_EQ(text(result.message.props, PidTagBody), "right after the fields\n\nnext paragraph\n");

  // A garbled line among fields that mail carries belongs to the header block: the fields after
  // it still count, and the line stays in the Internet headers.
  result = importText("Received: by x; Mon, 1 Jan 2024 00:00:00 +0000\nquite Delivered-To: a@x.org\n"
                      "From: a@x.org\nSubject: kept\n\nbody\n");
  EXPECT_EQ(text(result.message.props, PidTagSubject), "kept");
  EXPECT_EQ(text(result.message.props, PidTagBody), "body\n");
  EXPECT_NE(text(result.message.props, PidTagTransportMessageHeaders)->find("\r\nquite Delivered-To: a@x.org\r\nFrom:"),
            std::string::npos);

  // Nothing but MIME fields and no separator: GMime still gets them, and the headers keep them.
  result = importText("Content-Type: text/plain; charset=iso-8859-1\nGr\xFC\xDF" "e\n");
  ASSERT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(text(result.message.props, PidTagBody), "Grüße\n");
  EXPECT_EQ(text(result.message.props, PidTagTransportMessageHeaders), "Content-Type: text/plain; charset=iso-8859-1\r\n");
}

TEST(Bodies, OverlongHeaderFieldsKeepTheirText) {
  // Far beyond any real header, and full of "=?" that start no encoded word.
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk += "=?x?Q?aa";
  const auto result = importText("From: " + junk + " <a@x.org>\nSubject: " + junk + "\n\nbody\n");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(text(result.message.props, PidTagSubject), junk);
  EXPECT_EQ(text(result.message.props, PidTagSentRepresentingEmailAddress), "a@x.org");
  EXPECT_NE(text(result.message.props, PidTagTransportMessageHeaders)->find("Subject: " + junk + "\r\n"), std::string::npos);
}

TEST(Attachments, ByValueInlineAndNames) {
  const auto result = importText(
      "From: a@x.org\nContent-Type: multipart/mixed; boundary=m\n\n--m\n"
      "Content-Type: multipart/related; boundary=r\n\n--r\nContent-Type: text/html\n\n<img src=\"cid:Pic1@x\">\n"
      "--r\nContent-Type: image/gif\nContent-ID: <pic1@x>\nContent-Transfer-Encoding: base64\n\nR0lGODlhAQABAAAAACw=\n"
      "--r\nContent-Type: image/png\nContent-ID: <unused@x>\n\nPNG\n--r--\n"
      "--m\nContent-Type: application/pdf; name=\"=?utf-8?Q?R=C3=A9sum=C3=A9?=.pdf\"\n"
      "Content-Disposition: attachment; filename*=utf-8''r%C3%A9sum%C3%A9%20final.pdf\n"
      "Content-Transfer-Encoding: base64\n\nJVBERi0xLjQK\n"
      "--m\nContent-Type: text/plain\nContent-Disposition: attachment\n\nnotes\n"
      "--m\nContent-Type: image/jpeg\nContent-Description: Holiday / beach\n\nJPEG\n"
      "--m\nContent-Type: image/png\nContent-ID: <mixed@x>\n\nPNG\n"
      "--m\nContent-Type: application/vnd.ms-excel\nContent-Disposition: attachment;\n"
      " filename=\"=?gb2312?B?u+HS6bzN0qq6zc/C1ty5pNf3?=\n =?gb2312?B?sLLFxbzGu66x7S54bHN4?=\"\n\nxls\n--m--\n");
  ASSERT_TRUE(result.ok);
  const auto& atts = result.message.attachments;
  ASSERT_EQ(atts.size(), 7u);
  EXPECT_EQ(number(result.message.props, PidTagMessageFlags), kMessageFlagRead | kMessageFlagHasAttach);
  EXPECT_EQ(text(atts[0].props, PidTagAttachContentId), "pic1@x");
  EXPECT_EQ(number(atts[0].props, PidTagAttachFlags), kAttachRenderedInBody);
  EXPECT_EQ(number(atts[0].props, PidTagAttachmentFlags), kAttachmentFlagsInline);
  EXPECT_EQ(number(atts[0].props, PidTagAttachmentHidden), 1);
  EXPECT_EQ(bytes(atts[0].props, PidTagAttachDataBinary)->size(), 14u);
  EXPECT_FALSE(find(atts[1].props, PidTagAttachmentHidden));  // not shown by the HTML: stays visible
  EXPECT_EQ(text(atts[2].props, PidTagAttachLongFilename), "résumé final.pdf");
  EXPECT_EQ(text(atts[2].props, PidTagAttachExtension), ".pdf");
  EXPECT_EQ(text(atts[2].props, PidTagAttachMimeTag), "application/pdf");
  EXPECT_EQ(bytes(atts[2].props, PidTagAttachDataBinary)->size(), 9u);
  EXPECT_EQ(number(atts[2].props, PidTagRenderingPosition), -1);
  EXPECT_EQ(number(atts[2].props, PidTagAttachMethod), kAttachByValue);
  EXPECT_EQ(text(atts[3].props, PidTagAttachLongFilename), "ATT00004.txt");
  EXPECT_EQ(text(atts[4].props, PidTagAttachLongFilename), "Holiday - beach.jpg");
  EXPECT_FALSE(find(atts[5].props, PidTagAttachmentHidden));  // has a Content-ID, but no cid: link
  EXPECT_EQ(text(atts[6].props, PidTagAttachLongFilename), "会议纪要和下周工作安排计划表.xlsx");
}

TEST(Attachments, EmbeddedMessagesAreConvertedAndDepthIsBounded) {
  std::string message = "Subject: level 20\n\ninnermost\n";
  for (int level = 19; level >= 0; --level) {
    message = "Subject: level " + std::to_string(level) + "\nContent-Type: multipart/mixed; boundary=b" +
              std::to_string(level) + "\n\n--b" + std::to_string(level) + "\nContent-Type: message/rfc822\n\n" +
              message + "\n--b" + std::to_string(level) + "--\n";
  }
  const auto result = importText(message);
  ASSERT_TRUE(result.ok);
  const pst::messaging::MessageContent* current = &result.message;
  int depth = 0;
  while (!current->attachments.empty() && current->attachments[0].embedded) {
    EXPECT_EQ(number(current->attachments[0].props, PidTagAttachMethod), kAttachEmbeddedMessage);
    current = current->attachments[0].embedded.get();
    ++depth;
  }
  EXPECT_EQ(depth, mail::kMaxEmbeddingDepth);
  // Below the bound the rest is kept whole, not dropped.
  ASSERT_EQ(current->attachments.size(), 1u);
  const std::string kept = bytesAsText(bytes(current->attachments[0].props, PidTagAttachDataBinary).value());
  EXPECT_NE(kept.find("innermost"), std::string::npos);
  EXPECT_EQ(text(current->attachments[0].props, PidTagAttachMimeTag), "message/rfc822");
}

TEST(RealWorld, OddContentTypesAndEmptyMessageParts) {
  // A type without subtype, or any invalid one, is text/plain with its charset and encoding.
  for (const char* type : {"text; charset=iso-8859-1", "text/; charset=\"iso-8859-1\"", "/plain; charset=iso-8859-1"}) {
    const auto result = importText(std::string("From: a@x.org\nMIME-Version: 1.0\nContent-Type: ") + type +
                                   "\nContent-Transfer-Encoding: quoted-printable\n\nH=E9llo\n");
    EXPECT_EQ(text(result.message.props, PidTagBody), "Héllo\n") << type;
    EXPECT_TRUE(result.message.attachments.empty()) << type;
  }
  // A type with a comment is still its type: a nested multipart keeps its text, and a binary
  // part stays an attachment.
  const auto nested = importText(
      "From: a@x.org\nContent-Type: multipart/alternative; boundary=a\n\n--a\n"
      "Content-Type: multipart/mixed (parts); boundary=m\n\n--m\nContent-Type: text/plain\n\ninner words\n"
      "--m\nContent-Type: application/octet-stream (data); name=x.bin\n\nBIN\n--m--\n--a--\n");
  EXPECT_EQ(text(nested.message.props, PidTagBody), "inner words");
  ASSERT_EQ(nested.message.attachments.size(), 1u);
  EXPECT_EQ(text(nested.message.attachments[0].props, PidTagAttachLongFilename), "x.bin");
  // An empty message/rfc822 part keeps its name and holds nothing, not the part's own headers.
  const auto result = importText(
      "From: a@x.org\nContent-Type: multipart/mixed; boundary=m\n\n--m\nContent-Type: text/plain\n\nsee attached\n"
      "--m\nContent-Type: message/rfc822\nContent-Disposition: attachment; filename=\"message.eml\"\n\n--m--\n");
  ASSERT_EQ(result.message.attachments.size(), 1u);
  const auto& props = result.message.attachments[0].props;
  EXPECT_EQ(text(props, PidTagAttachLongFilename), "message.eml");
  EXPECT_EQ(bytes(props, PidTagAttachDataBinary).value_or(pst::Bytes{1}).size(), 0u);
  // A date before 1970 is the message's date, not the file's.
  EXPECT_EQ(time(importText("Date: Sat, 01 Jan 1966 12:00:00 -0400\n\nb").message.props, PidTagClientSubmitTime),
            fileTime(-126172800));
}

TEST(Attachments, WinmailDatStaysAnAttachment) {
  const auto result = importText("From: a@x.org\nContent-Type: multipart/mixed; boundary=m\n\n--m\nContent-Type: text/plain\n\nb\n"
                                 "--m\nContent-Type: application/ms-tnef; name=winmail.dat\nContent-Transfer-Encoding: base64\n\neJ8+IgAA\n--m--\n");
  ASSERT_EQ(result.message.attachments.size(), 1u);
  EXPECT_EQ(text(result.message.attachments[0].props, PidTagAttachLongFilename), "winmail.dat");
  EXPECT_EQ(bytes(result.message.attachments[0].props, PidTagAttachDataBinary)->size(), 6u);
}

TEST(SMime, SignedStaysReadableEncryptedIsKeptWhole) {
  auto result = importText(
      "From: a@x.org\nContent-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=s\n\n"
      "--s\nContent-Type: multipart/mixed; boundary=m\n\n--m\nContent-Type: text/plain\n\nsigned words\n"
      "--m\nContent-Type: application/zip; name=a.zip\n\nPK\n--m--\n"
      "--s\nContent-Type: application/pkcs7-signature; name=smime.p7s\nContent-Transfer-Encoding: base64\n\nMIAGCSqG\n--s--\n");
  EXPECT_EQ(text(result.message.props, PidTagMessageClass), "IPM.Note");
  EXPECT_EQ(text(result.message.props, PidTagBody), "signed words");
  ASSERT_EQ(result.message.attachments.size(), 2u);
  EXPECT_EQ(text(result.message.attachments[0].props, PidTagAttachLongFilename), "a.zip");
  EXPECT_EQ(text(result.message.attachments[1].props, PidTagAttachLongFilename), "smime.p7s");

  result = importText("From: a@x.org\nSubject: secret\nContent-Type: application/pkcs7-mime; smime-type=enveloped-data; name=smime.p7m\n"
                      "Content-Transfer-Encoding: base64\n\nMIAGCSqGSIb3DQEHA6CAMIACAQAx\n");
  EXPECT_EQ(text(result.message.props, PidTagMessageClass), "IPM.Note.SMIME");
  EXPECT_FALSE(find(result.message.props, PidTagBody));
  ASSERT_EQ(result.message.attachments.size(), 1u);
  EXPECT_EQ(text(result.message.attachments[0].props, PidTagAttachMimeTag), "application/pkcs7-mime");
  EXPECT_EQ(bytes(result.message.attachments[0].props, PidTagAttachDataBinary)->size(), 21u);
}

}  // namespace
