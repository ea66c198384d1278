#include "messagelist/keyed_list.h"

#include <gtest/gtest.h>

namespace messagelist {
namespace {

TEST(KeyedList, ReadsValuesByOneBasedPositionInTheOrderAdded) {
  KeyedList<std::string> list;
  list.add("first", "K0");
  list.add("second", "K2");
  list.add("third", "K1");
  ASSERT_EQ(list.count(), 3u);
  EXPECT_EQ(list.item(1), "first");
  EXPECT_EQ(list.item(3), "third");
  EXPECT_THROW(list.item(0), std::out_of_range);
  EXPECT_THROW(list.item(4), std::out_of_range);
  EXPECT_TRUE(list.contains("K1"));
  EXPECT_FALSE(list.contains("K3"));
}

TEST(KeyedList, RefusesASecondValueUnderTheSameKeyAndStaysUnchanged) {
  KeyedList<int32_t> list;
  list.add(7, "K1");
  try {
    list.add(8, "K1");
    FAIL() << "a repeated key must be refused";
  } catch (const DuplicateKeyError& e) {
    EXPECT_EQ(e.key(), "K1");
    EXPECT_NE(std::string(e.what()).find("K1"), std::string::npos);
  }
  ASSERT_EQ(list.count(), 1u);
  EXPECT_EQ(list.item(1), 7);
  list.add(9, "K2");  // still usable afterwards
  EXPECT_EQ(list.item(2), 9);
}

}  // namespace
}  // namespace messagelist
