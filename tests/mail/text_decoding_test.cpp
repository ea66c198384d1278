// Header text, charsets, subjects, HTML text, file names and address identifiers.
#include <gtest/gtest.h>

#include "mail/addresses.h"
#include "mail/attachment_names.h"
#include "mail/charset.h"
#include "mail/dates.h"
#include "mail/encoded_words.h"
#include "mail/html_text.h"
#include "mail/importance.h"
#include "mail/one_off_entry_id.h"
#include "mail/subject.h"

namespace {

using mail::decodeHeaderText;

TEST(EncodedWords, FoldedBase64WordsEachWithPaddingKeepEveryWord) {
  // GMime 3.2.13 joins the payloads before decoding and loses what follows the first padding.
  EXPECT_EQ(decodeHeaderText(" =?UTF-8?B?R3LDvA==?=\r\n =?UTF-8?B?w59lIGF1cyBL?=\r\n =?UTF-8?B?w7Zsbg==?=\r\n"),
            "Grüße aus Köln");
}

TEST(EncodedWords, CharacterSplitAcrossTwoWordsIsJoined) {
  EXPECT_EQ(decodeHeaderText("=?utf-8?B?R3LD?= =?utf-8?B?vMOfZQ==?="), "Grüße");
}

TEST(EncodedWords, Gb2312SubjectIsDecodedToTheEnd) {
  EXPECT_EQ(decodeHeaderText(" =?gb2312?B?ztLDx8P3zOzU2rGxvqm8+8Pmo6w=?=\n\t=?gb2312?B?x+vXvMqxtb2077vh0unK0g==?="),
            "我们明天在北京见面，请准时到达会议室");
}

TEST(EncodedWords, QuotedPrintableWithUnderscoresAndMixedText) {
  EXPECT_EQ(decodeHeaderText("Re: =?ISO-8859-1?Q?J=F6rn_Reder?= und =?iso-8859-15?q?=A4uro?= Preis"),
            "Re: Jörn Reder und €uro Preis");
}

TEST(EncodedWords, WhiteSpaceBetweenWordsDroppedButNotAroundPlainText) {
  EXPECT_EQ(decodeHeaderText("=?us-ascii?q?a?=   =?us-ascii?q?b?= c =?us-ascii?q?d?="), "ab c d");
}

TEST(EncodedWords, CharsetsOfTheWorld) {
  EXPECT_EQ(decodeHeaderText("=?koi8-r?B?8NLJ18XUIM3J0g==?="), "Привет мир");
  EXPECT_EQ(decodeHeaderText("=?iso-2022-jp?B?GyRCJDMkcyRLJEEkTxsoQg==?="), "こんにちは");
  EXPECT_EQ(decodeHeaderText("=?euc-kr?B?vsiz58fPvLy/5A==?="), "안녕하세요");
  EXPECT_EQ(decodeHeaderText("=?shift_jis?B?k/qWe4zq?="), "日本語");
  EXPECT_EQ(decodeHeaderText("=?big5?B?pKSk5bT6uNU=?="), "中文測試");
  EXPECT_EQ(decodeHeaderText("=?ks_c_5601-1987?B?vsiz58fPvLy/5A==?="), "안녕하세요");
  EXPECT_EQ(decodeHeaderText("=?utf-8*en?Q?caf=C3=A9?="), "café");
}

TEST(EncodedWords, MalformedWordsStayAsText) {
  EXPECT_EQ(decodeHeaderText("=?utf-8?X?abc?= and =?broken"), "=?utf-8?X?abc?= and =?broken");
  EXPECT_EQ(decodeHeaderText("=?no-such-charset?Q?caf=E9?="), "café");  // unknown charset: 8-bit rules
  EXPECT_EQ(decodeHeaderText(""), "");
}

TEST(UndeclaredText, Utf8FirstThenLikelyCharsetThenWindows1252) {
  EXPECT_EQ(decodeHeaderText("Gr\xC3\xBC\xC3\x9F" "e"), "Grüße");
  EXPECT_EQ(decodeHeaderText("Gr\xFC\xDF" "e \x80"), "Grüße €");
  EXPECT_EQ(decodeHeaderText("\xD1\xFA\xE5\xF8\xFC", "windows-1251"), "Съешь");
  // Declared body charset that cannot read the bytes: windows-1252 still gives text.
  EXPECT_EQ(mail::decodeUndeclared("caf\xE9", "us-ascii"), "café");
}

TEST(Charsets, DeclaredCharsetConvertsAndBadBytesAreMarkedNotDropped) {
  EXPECT_EQ(mail::decodeDeclared("\xAElu\xBBou\xE8k\xFD", "iso-8859-2"), "Žluťoučký");
  EXPECT_EQ(mail::decodeDeclared("\xA4uro", "ISO-8859-15"), "€uro");
  EXPECT_EQ(mail::convertToUtf8("a\xFF" "b", "utf-8"), std::string("a\xEF\xBF\xBD" "b"));
  EXPECT_FALSE(mail::convertToUtf8("x", "x-no-such-charset").has_value());
  EXPECT_EQ(mail::codePageForCharset("\"UTF-8\""), 65001);
  EXPECT_EQ(mail::codePageForCharset("iso-2022-jp"), 50220);
  EXPECT_EQ(mail::codePageForCharset("x-unknown"), 0);
}

TEST(Charsets, Iso2022JpReadsWindowsExtensionsAndNeverLeaksHalfAPair) {
  // The numero sign (NEC row 13), a NEC-selected IBM extension (row 89) and a pair that no
  // table maps (row 15): one character each, never a stray second byte.
  EXPECT_EQ(mail::decodeDeclared("No\x1B$B\x2D\x62\x1B(B1", "ISO-2022-JP"), "No\u21161");
  EXPECT_EQ(mail::decodeDeclared("\x1B$B\x79\x21\x24\x22\x1B(B", "iso-2022-jp"), "\u7E8A\u3042");
  EXPECT_EQ(mail::decodeDeclared("a\x1B$B\x2F\x21\x24\x22\x1B(Bz", "iso-2022-jp"), "a\uFFFD\u3042z");
  EXPECT_EQ(mail::decodeDeclared("\x1B(I\x31\x1B(B!", "iso-2022-jp"), "\uFF71!");  // half-width katakana
  EXPECT_EQ(decodeHeaderText("=?ISO-2022-JP?B?GyRCLWIbKEI=?="), "\u2116");
}

TEST(Subject, PrefixSplitFollowsOutlookRule) {
  EXPECT_EQ(mail::splitSubject("Re: Hello").prefix, "Re: ");
  EXPECT_EQ(mail::splitSubject("Re: Hello").normalized, "Hello");
  EXPECT_EQ(mail::splitSubject("AW:Termin").prefix, "AW: ");
  EXPECT_EQ(mail::splitSubject("AW:Termin").normalized, "Termin");
  EXPECT_EQ(mail::splitSubject("Ответ: тест").prefix, "");  // five characters: no prefix
  EXPECT_EQ(mail::splitSubject("回复: 测试").prefix, "回复: ");
  EXPECT_EQ(mail::splitSubject("Meeting at 10:30").prefix, "");
  EXPECT_EQ(mail::splitSubject("10: items").prefix, "");
  EXPECT_EQ(mail::splitSubject(": x").prefix, "");
  EXPECT_EQ(mail::splitSubject("Fwd:").normalized, "");
}

TEST(Dates, HeaderDatesAndReceivedLines) {
  EXPECT_EQ(mail::parseMailDate(" Fri, 21 Nov 1997 09:55:06 -0600"), 125246013060000000ULL);
  EXPECT_EQ(mail::parseMailDate("21 Nov 97 09:55:06 GMT"), mail::parseMailDate("Fri, 21 Nov 1997 09:55:06 +0000"));
  EXPECT_FALSE(mail::parseMailDate("not a date").has_value());
  EXPECT_FALSE(mail::parseMailDate("").has_value());
  EXPECT_EQ(mail::parseReceivedDate("from a by b; Fri, 21 Nov 1997 09:55:06 -0600 (CST)"),
            mail::parseMailDate("Fri, 21 Nov 1997 15:55:06 +0000"));
  EXPECT_FALSE(mail::parseReceivedDate("from a by b with no date").has_value());
  EXPECT_EQ(mail::unixSecondsToFileTime(0), mail::kUnixEpochAsFileTime);
  // Any date from 1601 on: 1966-01-01T16:00:00Z is -126,172,800 s from the epoch.
  EXPECT_EQ(mail::parseMailDate("Sat, 01 Jan 1966 12:00:00 -0400"), mail::unixSecondsToFileTime(-126172800));
  EXPECT_EQ(mail::parseMailDate("1 Jan 66 16:00 GMT"), mail::unixSecondsToFileTime(-126172800));
  EXPECT_EQ(mail::parseMailDate("Thu, 01 Jan 1970 00:00:00 +0000"), mail::kUnixEpochAsFileTime);
  EXPECT_EQ(mail::parseMailDate("Mon, 1 Jan 1601 00:00:00 +0000"), 0u);
  EXPECT_FALSE(mail::parseMailDate("Sun, 31 Dec 1600 23:59:59 +0000").has_value());
  EXPECT_FALSE(mail::parseMailDate("30 Feb 1999 10:00 +0000").has_value());
}

TEST(Importance, HeaderVariants) {
  EXPECT_EQ(mail::importanceFromImportance(" High\r\n", 1), 2);
  EXPECT_EQ(mail::importanceFromImportance("low", 1), 0);
  EXPECT_EQ(mail::importanceFromImportance("whatever", 1), 1);
  EXPECT_EQ(mail::importanceFromXPriority(" 1 (Highest)", 1), 2);
  EXPECT_EQ(mail::importanceFromXPriority("3 (Normal)", 1), 1);
  EXPECT_EQ(mail::importanceFromXPriority("5", 1), 0);
}

TEST(HtmlText, ReadableTextFromMarkup) {
  EXPECT_EQ(mail::htmlToText("<html><head><title>t</title><style>p{color:red}</style></head>"
                             "<body><p>Hello&nbsp;<b>W&ouml;rld</b> &amp; you</p><script>x()</script>"
                             "<div>line&#160;two&#x21;</div><!-- hidden --></body></html>"),
            "Hello\xC2\xA0Wörld & you\nline\xC2\xA0two!");
  EXPECT_EQ(mail::htmlToText("a<br>b<br/>c<br><br>d<p>e</p><p>f"), "a\nb\nc\n\nd\ne\nf");
  EXPECT_EQ(mail::htmlToText("unclosed <b"), "unclosed");
  EXPECT_EQ(mail::htmlToText("&bogus; &#99999999;"), "&bogus; &#99999999;");
}

TEST(FileNames, SanitizedShortAndFallbackNames) {
  EXPECT_EQ(mail::sanitizeFileName("C:\\temp\\re:port?.pdf"), "re_port_.pdf");
  EXPECT_EQ(mail::sanitizeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(mail::sanitizeFileName(" .hidden. "), "hidden");
  EXPECT_EQ(mail::sanitizeFileName(std::string(300, 'a') + ".txt").size(), 255u);
  EXPECT_EQ(mail::fileExtension("archive.tar.gz"), ".gz");
  EXPECT_EQ(mail::fileExtension("README"), "");
  // Lower case, as Outlook writes them ("leah_t~1.jpg" for "leah_thumper.jpg").
  EXPECT_EQ(mail::shortFileName("report.pdf"), "report.pdf");
  EXPECT_EQ(mail::shortFileName("leah_thumper.jpg"), "leah_t~1.jpg");
  EXPECT_EQ(mail::shortFileName("Quarterly report 2026.xlsx"), "quarte~1.xls");
  EXPECT_EQ(mail::shortFileName("Список.doc"), "attach~1.doc");
  EXPECT_EQ(mail::fallbackFileName("image/png", 3), "ATT00003.png");
  EXPECT_EQ(mail::fallbackFileName("application/x-unknown", 1), "ATT00001.dat");
}

TEST(Addresses, OneOffEntryIdLayoutAndSearchKey) {
  const pst::Bytes id = mail::oneOffEntryId("Jörg", "SMTP", "j@x.org");
  const pst::Bytes provider = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                               0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
  ASSERT_EQ(id.size(), 4u + 16 + 2 + 2 + (4 + 1) * 2 + (4 + 1) * 2 + (7 + 1) * 2);
  EXPECT_EQ(pst::Bytes(id.begin() + 4, id.begin() + 20), provider);
  EXPECT_EQ(id[22] | (id[23] << 8), 0x8001);  // Unicode strings, no rich text
  EXPECT_EQ(id[24 + 2], 0xF6);                // "ö" as UTF-16LE
  const pst::Bytes key = mail::addressSearchKey("SMTP", "j@x.org");
  EXPECT_EQ(std::string(key.begin(), key.end()), std::string("SMTP:J@X.ORG", 13));
}

TEST(Addresses, ListsGroupsAndBareNames) {
  auto list = mail::parseAddressList(" \"Doe, John\" <john@x.org>, =?utf-8?Q?J=C3=B6rg?= <jorg@x.org>,\r\n plain@x.org");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "Doe, John");
  EXPECT_EQ(list[1].name, "Jörg");
  EXPECT_EQ(list[2].name, "plain@x.org");
  EXPECT_EQ(list[2].address, "plain@x.org");
  // Folded multi-word base64 names keep every word, also inside quotes and next to plain words.
  list = mail::parseAddressList(" =?UTF-8?B?R3LDvA==?=\r\n =?UTF-8?B?w59lIGF1cyBL?=\r\n =?UTF-8?B?w7Zsbg==?= <g@x.org>,"
                                " \"=?utf-8?Q?Dr=2E_\"Q\"?= Quux\" <q@x.org>, Jan =?utf-8?Q?N=C3=B6?= <n@x.org>");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "Grüße aus Köln");
  EXPECT_EQ(list[0].address, "g@x.org");
  EXPECT_EQ(list[1].name, "Dr. \"Q\" Quux");
  EXPECT_EQ(list[2].name, "Jan Nö");
  EXPECT_TRUE(mail::parseAddressList(" undisclosed-recipients:;").empty());
  EXPECT_TRUE(mail::parseAddressList(" unlisted-recipients:; (no To-header on input)").empty());
  EXPECT_EQ(mail::parseAddressList(" Team: a@x.org, b@x.org;").size(), 2u);
  auto bare = mail::parseAddressList(" Mary Smith");
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].name, "Mary Smith");
}

TEST(Addresses, FlatEntryListCountsAndPadsEntries) {
  auto u32 = [](const pst::Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24));
  };
  const pst::Bytes list = mail::flatEntryList({{"A", "a@x.org"}, {"Bc", "bc@x.org"}});
  EXPECT_EQ(u32(list, 0), 2u);
  EXPECT_EQ(u32(list, 4) + 8, list.size());
  const uint32_t first = u32(list, 8);
  EXPECT_EQ(first, mail::oneOffEntryId("A", "SMTP", "a@x.org").size());
  const size_t second = 12 + (first + 3) / 4 * 4;
  EXPECT_EQ(u32(list, second), mail::oneOffEntryId("Bc", "SMTP", "bc@x.org").size());
}

}  // namespace
