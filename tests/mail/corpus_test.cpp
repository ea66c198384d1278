// Real mail from the public corpus (tests/data/corpus, see its MANIFEST.md), with
// expectations checked by hand against the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "mail/charset.h"
#include "props.h"

namespace {

using namespace mailtest;
using namespace mail::tags;

const std::filesystem::path kCorpus = std::filesystem::path(VANTOREL_TEST_DATA) / "corpus";

struct Attachment {
  std::string name;  // long file name, or display name of an embedded message
  int64_t size;      // decoded bytes; -1 for an embedded message
};

struct Expected {
  std::string file;
  std::string subject;
  std::string fromName;
  std::string fromAddress;
  std::vector<std::string> to, cc, bcc;
  int64_t submitUnix;      // 0: not checked
  std::string bodyPhrase;  // found in the plain body
  std::vector<Attachment> attachments;
  int32_t codePage = 0;    // 0: not checked
  std::string messageClass = "IPM.Note";
};

const std::vector<Expected>& expectations() {
  static const std::vector<Expected> table = {
      {"james-mime4j/mimetools--german-qp.msg", "Testnachricht", "Jörn Reder", "joern@zyn.de", {"joern@zyn.de"}, {}, {},
       1135198964, "Testnachricht mit 8 Bit Sönderzäichen", {}, 28605},
      {"james-mime4j/mimetools--german.msg", "Re: 34Mbit/s Netz", "Guenter Deuschle", "deuschle@mnh.telekom.de",
       {"specht@kulturbox.de"}, {}, {}, 835200722 /* Date, not the later Resent-Date */, "entschuldigen Sie vorab", {},
       28591},
      {"james-mime4j/mimetools--intl.msg", "If you can read this you understand the example... so, cool!", "Keith Moore",
       "moore@cs.utk.edu", {"keld@dkuug.dk"}, {"PIRARD@vm1.ulg.ac.be"}, {"paf@nada.kth.se"}, 0, "How's this?", {}},
      {"mimekit/messages--japanese.msg", "日本語メールテスト (testing Japanese emails)", "Atsushi Eno", "x@x.com", {"x@x.com"},
       {}, {}, 1437494549, "送れているか", {}, 50220},
      {"ruby-mail/multi_charset--japanese_shift_jis.msg", "test", "xxxxxxx@docomo.ne.jp", "xxxxxxx@docomo.ne.jp",
       {"unknown@example.com"}, {}, {}, 1401265099, "このメールはテスト用のメールです。", {}, 932},
      {"ruby-mail/multi_charset--japanese_iso_2022.msg", "まみむめも", "Mikel Lindsaar", "raasdnil@gmail.com",
       {"raasdnil@gmail.com"}, {}, {}, 0, "すみません。", {}, 50220},
      {"ruby-mail/multi_charset--ks_c_5601-1987.msg", "test", "from@example.com", "from@example.com", {"unknown@example.com"},
       {}, {}, 1401265099, "스티해", {}, 949},
      {"ruby-mail/plain_emails--raw_email.msg", "NOTE: 한국말로 하는 것", "Jamis Buck", "jamis@37signals.com",
       {"willard15georgina@jamis.backpackit.com"}, {}, {}, 1115071625, "제 이름은 Jamis입니다.", {}, 51949},
      {"spamscope-mail-parser/mail_test_9.msg", "我把镜头拉近些，你们看看这个是什么屄，这种场合自然少不了内射", "xwfcpggy",
       "zyb@sgis.com.cn", {}, {}, {}, 1482730411, "http://go2buy.com.cn/", {}, 936},
      {"spamscope-mail-parser/mail_test_12.msg", "代开各地增值税发票", "张先生", "baoguan@hotmail.com",
       {"danglüe@email.com"}, {}, {}, 1526185942, "你好！我公司", {}},
      {"ruby-mail/error_emails--bad_subject.msg", "MySurvey.com:  You have a survey waiting!  91123105", "MySurvey.com & Carol Adams",
       "carol@mysurvey.com", {"someone@aol.com"}, {}, {}, 1292433680, "You have a survey waiting!", {}},
      {"ruby-mail/plain_emails--raw_email_bad_time.msg", "[0]: XXXXXXX XXXXX XXXXX !", "Атиковa", "yusuf75thu@auracom.net",
       {"abcdefg@AAAAAAAAA.net"}, {}, {}, 1214818440 /* Date says year 3609: delivery time instead */,
       "scanned for viruses", {}, 1251},
      {"spamscope-mail-parser/mail_test_4.msg", "PI", "Anabel Gonzalo", "anabelgonzalo@fanox.com", {}, {}, {}, 1471617209,
       "We have made the payment of USD 103,349,35.", {{"img1.jpg", 5448}, {"Payment Invoice.zip", 350899}},
       65001 /* labelled windows-1251, but the HTML bytes are UTF-8 */},
      {"ruby-mail/error_emails--invalid_subject_characters.msg",
       "Formação FrenetikPolis: Mega Campanha Final Verão | Cursos de Setembro", "Formação Frenetikpolis",
       "info@formacaofrenetik.info", {"martin@internet.ao", "iris@internet.ao", "support@maxnet.ao"}, {}, {}, 0, "TEST", {}},
      {"zbateson-mail-mime-parser/m0010.msg", "Die Hasen und die Frösche (Microsoft Outlook 00)", "Doug Sauder",
       "doug@example.com", {"mueller@example.com"}, {}, {}, 958606220, "ihre mißliche Lage", {}, 1252},
      {"james-mime4j/mimetools--russian.msg", "Greetings", "", "", {}, {}, {}, 0, "", {{"Список.doc", 17}}},
      {"mimekit/tnef--ukr.msg", "rr test 7", "RR Tester 1", "rrtest1@xink.io", {"ems365sync@xink.io"}, {}, {}, 1510560073,
       "шостий", {{"winmail.dat", 9566}}, 20866},
      {"ruby-mail/error_emails--content_transfer_encoding_empty.msg", "", "3712f2@msa.hinet.net", "3712f2@msa.hinet.net",
       {"brucegemini@yahoo.com.tw"}, {}, {"Array"}, 1005707241, "9bbf38a544f990e7", {}, 65001 /* UTF-8 under a big5 label */},
      {"james-mime4j/mimetools--frag.msg", "[Fwd: [Fwd: [Fwd: FW: Another Priceless  Moment]]]", "Sven",
       "omrec@mailandnews.com", {"eryq@zeegee.com"}, {}, {}, 959193989, "",
       {{"[Fwd: [Fwd: FW: Another Priceless  Moment]]", -1}}},
      {"zbateson-mail-mime-parser/m1004.msg", "Test message from Netscape Communicator 4.7", "Doug Sauder",
       "dwsauder@example.com", {"blow@example.com"}, {}, {}, 958619309, "Die Hasen klagten einst über ihre mißliche Lage",
       {{"greenball.png", 1298}, {"blueball.png", 1325}}},
      {"zbateson-mail-mime-parser/m4009.msg", "Attachment", "Test Sender", "meint@example.com", {"meint@example.com"}, {},
       {}, 1676230481, "Test", {{"test10Mb.db", 3}}},
      {"spamscope-mail-parser/mail_test_1.msg", "письмо уведом-е", "служба ФНС Даниил Суворов", "suvorov.s@nalg.ru",
       {"kinney@noth.com"}, {}, {}, 1471875781 /* no Date: top Received line */, "Информируем Вас об имеющейся задолженности",
       {{"ФНС_РФ558.zip", 8932}}, 65001},
      {"mimekit/mbox-content-length--10.msg", "My encryption certificate for S/MIME testing", "Eric Rosenquist",
       "rosenqui@strataware.com", {"smime-dev@RSA.COM"}, {"rosenqui@strataware.com", "rangerm@entrust.com", "rvander@entrust.com"},
       {}, 848610623, "I'm a consultant working with Nortel", {{"eric.p7c", 1882}}},
      {"stalwart-mail-parser/thirdparty--019.msg", "30 plaintext + (HTML + embedded image) + attachment",
       "test@example.com", "test@example.com", {"test@example.com"}, {}, {}, 1514663401, "Search for hähä",
       {{"kigaaldcbanejcbi.png", 242}, {"attach2.png", 158}}},
      {"mimekit/dkim--gmail.msg", "Testing verification of Google DKIM-Signature headers", "Jeffrey Stedfast",
       "jeff.stedfast@gmail.com", {"jeff@xamarin.com"}, {}, {}, 1433988337, "This is the message body.", {}},
      {"mimekit/mbox-content-length--14.msg", "Ready for interoperability testing.", "Arjun J Taneja", "arjun@connectsoft.com",
       {"smime-dev@RSA.COM"}, {}, {}, 830215232, "", {{"smime.p7m", -2}}, 0, "IPM.Note.SMIME"},
      {"james-mime4j/mimetools--jt-0498.msg", "Fwd: PC800: Tall Hondaline Windshield Distortion", "Gaffneydp",
       "Gaffneydp@aol.com", {"PC800@hpc.uh.edu"}, {}, {}, 893950130, "I purchased a tall windshield",
       {{"Re: PC800: Tall Hondaline Windshield Distortion", -1}}},
      {"spamscope-mail-parser/mail_test_19.msg", "Test email with email address as display name", "alice@example.com",
       "bob@example.com", {"charlie@example.com", "dave@example.com"}, {"frank@example.com"}, {}, 0,
       "display name is itself", {}},
      {"james-mime4j/testmsgs--base64encoded-rfc822message-nested.msg", "", "", "", {}, {}, {}, 0, "",
       {{"a simple rfc822 message encoded in a base64 body.", -1}}},
      {"nodemailer-mailparser/delivery-status.msg", "Delivery Status Notification (Failure)", "MAILER-DAEMON@amazonses.com",
       "MAILER-DAEMON@amazonses.com", {"xxxxx@gmail.com"}, {}, {}, 0, "An error occurred while trying to deliver",
       {{"Delivery Status Notification.txt", 461}, {"Example Subject", -1}}},
      {"james-mime4j/mimetools--x-gzip64.msg", "Testing!", "", "", {}, {}, {}, 0, "H4sIAJ+A5jIAA0VPTWvDMAy9", {}},
  };
  return table;
}


TEST(Corpus, HandCheckedMessages) {
  ASSERT_GE(expectations().size(), 30u);
  for (const Expected& e : expectations()) {
    SCOPED_TRACE(e.file);
    const mail::ImportResult result = mail::importMessageFile(kCorpus / e.file);
    ASSERT_TRUE(result.ok) << result.reason;
    const auto& m = result.message;
    if (!e.subject.empty()) {
      EXPECT_EQ(text(m.props, PidTagSubject), e.subject);
    }
    if (!e.fromAddress.empty()) {
      EXPECT_EQ(text(m.props, PidTagSentRepresentingName), e.fromName);
      EXPECT_EQ(text(m.props, PidTagSentRepresentingEmailAddress), e.fromAddress);
    }
    if (!e.to.empty()) {
      EXPECT_EQ(recipientAddresses(m, kRecipientTo), e.to);
    }
    EXPECT_EQ(recipientAddresses(m, kRecipientCc), e.cc);
    EXPECT_EQ(recipientAddresses(m, kRecipientBcc), e.bcc);
    if (e.submitUnix != 0) {
      EXPECT_EQ(time(m.props, PidTagClientSubmitTime), fileTime(e.submitUnix));
    }
    if (!e.bodyPhrase.empty()) {
      EXPECT_NE(text(m.props, PidTagBody).value_or("").find(e.bodyPhrase), std::string::npos)
          << text(m.props, PidTagBody).value_or("(no body)").substr(0, 300);
    }
    ASSERT_EQ(m.attachments.size(), e.attachments.size());
    for (size_t i = 0; i < e.attachments.size(); ++i) {
      const auto& attachment = m.attachments[i];
      if (e.attachments[i].size == -1) {
        EXPECT_TRUE(attachment.embedded != nullptr);
        EXPECT_EQ(text(attachment.props, PidTagDisplayName), e.attachments[i].name);
        continue;
      }
      EXPECT_EQ(text(attachment.props, PidTagAttachLongFilename), e.attachments[i].name);
      if (e.attachments[i].size >= 0) {
        EXPECT_EQ(static_cast<int64_t>(bytes(attachment.props, PidTagAttachDataBinary)->size()), e.attachments[i].size);
      }
    }
    if (e.codePage != 0) {
      EXPECT_EQ(number(m.props, PidTagInternetCodepage), e.codePage);
    }
    EXPECT_EQ(text(m.props, PidTagMessageClass), e.messageClass);
  }
}

TEST(Corpus, EncodedNamesAndMixedCharsetSubject) {
  const auto result = mail::importMessageFile(kCorpus / "james-mime4j/mimetools--intl.msg");
  ASSERT_TRUE(result.ok);
  // The subject's three words are in three charsets (ISO-8859-1, ISO-8859-2, US-ASCII).
  EXPECT_EQ(text(result.message.props, PidTagSubject), "If you can read this you understand the example... so, cool!");
  EXPECT_EQ(text(result.message.props, PidTagDisplayTo), "Keld Jørn Simonsen");
  EXPECT_EQ(text(result.message.props, PidTagDisplayCc), "André Pirard");
  EXPECT_EQ(text(result.message.props, PidTagDisplayBcc), "Patrik Fältström");
  EXPECT_EQ(text(result.message.props, PidTagSenderName), "Keith Moore");
}

TEST(Corpus, HeaderBlocksWithoutAnEmptyLineKeepAllTheirText) {
  const struct {
    const char* file;
    std::vector<std::string> phrases;
  } cases[] = {
      {"james-mime4j/mimetools--hdr-fakeout.msg",
       {"The header is not properly terminated; the \"blank line\" \r\nactually has a space in it."}},
      {"james-mime4j/testmsgs--basic-plain-with-bad-header-separator.msg",
       {"This is a very simple message with a simple body but the separator\r\nbetween header and body contains an "
        "additional space: \r\nCRLF<space>CRLF.\r\n\r\nThis results in a bogus header."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto result = mail::importMessageFile(kCorpus / c.file);
    ASSERT_TRUE(result.ok);
    for (const std::string& phrase : c.phrases) {
      EXPECT_NE(text(result.message.props, PidTagBody).value_or("").find(phrase), std::string::npos);
    }
    EXPECT_FALSE(text(result.message.props, PidTagSubject).value_or("").empty());
  }
}

// Every Unicode value must be valid UTF-8 and every message must carry what list views read.
void checkWellFormed(const pst::messaging::MessageContent& message, const std::string& where) {
  for (PropTag tag : {PidTagMessageClass, PidTagMessageFlags, PidTagSubject, PidTagClientSubmitTime,
                      PidTagMessageDeliveryTime, PidTagImportance, PidTagSensitivity, PidTagDisplayTo,
                      PidTagInternetCodepage, PidTagTransportMessageHeaders}) {
    EXPECT_TRUE(find(message.props, tag)) << where << " lacks " << std::hex << tag;
  }
  auto checkText = [&](const std::vector<Property>& props) {
    for (const auto& prop : props) {
      if (const auto* value = std::get_if<std::string>(&prop.value)) {
        EXPECT_TRUE(mail::isValidUtf8(*value)) << where << " tag " << std::hex << prop.tag;
      }
    }
  };
  checkText(message.props);
  for (const auto& row : message.recipients) checkText(row);
  for (const auto& attachment : message.attachments) {
    checkText(attachment.props);
    if (attachment.embedded) checkWellFormed(*attachment.embedded, where + " (embedded)");
  }
  const bool hasAttach = (number(message.props, PidTagMessageFlags).value_or(0) & kMessageFlagHasAttach) != 0;
  EXPECT_EQ(hasAttach, !message.attachments.empty()) << where;
}

TEST(Corpus, EveryFileImportsOrIsRefusedForAReason) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kCorpus)) {
    if (entry.path().extension() == ".msg") files.push_back(entry.path());
  }
  ASSERT_EQ(files.size(), 400u);
  std::vector<std::string> refused;
  int imported = 0;
  for (const auto& file : files) {
    const auto result = mail::importMessageFile(file);
    const std::string name = std::filesystem::relative(file, kCorpus).generic_string();
    if (!result.ok) {
      EXPECT_FALSE(result.reason.empty()) << name;
      refused.push_back(name);
      continue;
    }
    ++imported;
    checkWellFormed(result.message, name);
  }
  std::sort(refused.begin(), refused.end());
  EXPECT_EQ(imported, 398);
  EXPECT_EQ(refused, (std::vector<std::string>{"james-mime4j/testmsgs--malformedHeaderStartsBody-noheader.msg",
                                              "spamscope-mail-parser/mail_outlook_1.msg"}));
}

}  // namespace
