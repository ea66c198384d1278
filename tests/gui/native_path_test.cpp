// File names that are not valid UTF-8 must survive the trip through the window's text.
#include <gtest/gtest.h>

#include "messagelist/native_path.h"

using messagelist::nativePathFromText;
using messagelist::textFromNativePath;

TEST(NativePath, EveryByteSequenceComesBackUnchanged) {
  const std::string cases[] = {
      "/srv/mail/plain.msg",
      "/srv/Z\xc3\xbcrich/\xf0\x9f\x93\xa7.msg",  // valid UTF-8, with a character beyond 16 bits
      "/srv/Z\xfcrich/caf\xe9.msg",               // Latin-1
      "\xc3",                                     // cut-off sequence at the end
      "\xc0\xaf",                                 // overlong "/"
      "\xed\xa0\x80",                             // an encoded surrogate
      "\xf4\x90\x80\x80",                         // beyond U+10FFFF
      "\xe2\x82",                                 // truncated three-byte form
      std::string("a\0b", 3),
  };
  for (const std::string& native : cases) {
    SCOPED_TRACE(native);
    EXPECT_EQ(nativePathFromText(textFromNativePath(native)), native);
  }
  // All 65536 two-byte strings.
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const std::string native{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(nativePathFromText(textFromNativePath(native)), native) << a << " " << b;
    }
}

TEST(NativePath, ValidNamesReadAsTheirTextAndTextWritesAsUtf8) {
  EXPECT_EQ(textFromNativePath("/srv/Z\xc3\xbcrich"), QStringLiteral("/srv/Z\u00fcrich"));
  EXPECT_EQ(nativePathFromText(QStringLiteral("/srv/Z\u00fcrich")), "/srv/Z\xc3\xbcrich");
  EXPECT_EQ(textFromNativePath("\xf0\x9f\x93\xa7"), QString::fromUtf8("\xf0\x9f\x93\xa7"));
  // Invalid bytes stay visible as something, and never as a path separator.
  EXPECT_FALSE(textFromNativePath("\xc0\xaf").contains(QLatin1Char('/')));
  EXPECT_EQ(textFromNativePath("caf\xe9").size(), 4);
}
