#include "messagelist/message_filter.h"

#include <gtest/gtest.h>

namespace messagelist {
namespace {

TEST(MessageFilter, MatchesDotMsgInAnyCaseAfterTrimmingSpaces) {
  for (const char* yes : {"/m/a.msg", "/m/A.MSG", "/m/b.Msg", ".msg", "/m/c.msg  ", "  /m/d.mSg",
                          "/m/\xC3\xA9t\xC3\xA9.msg"})
    EXPECT_TRUE(IsMessageFileName(yes)) << yes;
  for (const char* no : {"", "   ", "msg", "/m/a.eml", "/m/a.msg.bak", "/m/a.msgx", "/m/a.msg.txt",
                         "/m/amsg", "/m/a.msg\t", "/m/a.ms", "/m/a.m\xC3\xA9g"})
    EXPECT_FALSE(IsMessageFileName(no)) << no;
}

}  // namespace
}  // namespace messagelist
