#include "conversion/sort_helpers.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <random>
#include <set>

namespace conversion {
namespace {

// Text built from code points in both encodings, so the UTF-16 order needs no decoder.
struct Text {
  std::string utf8;
  std::u16string utf16;
};

Text text(const std::vector<char32_t>& codePoints) {
  Text t;
  for (char32_t c : codePoints) {
    const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    t.utf8 += static_cast<char>(lead[tail] | (c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) t.utf8 += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    if (c < 0x10000) {
      t.utf16 += static_cast<char16_t>(c);
    } else {
      t.utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      t.utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return t;
}

int sign(int v) { return (v > 0) - (v < 0); }
int32_t lastIndex(const StringList& list) { return static_cast<int32_t>(list.size()) - 1; }

TEST(BinaryCompare, FollowsUtf16CodeUnitsNotUtf8Bytes) {
  // U+10000 is F0 90 80 80 in UTF-8 but D800 DC00 in UTF-16, so it sorts before U+E000.
  EXPECT_LT(CompareBinary(text({0x10000}).utf8, text({0xE000}).utf8), 0);
  EXPECT_GT(CompareBinary(text({'a', 0xFFFD}).utf8, text({'a', 0x1F600}).utf8), 0);
  EXPECT_LT(CompareBinary(text({0xD7FF}).utf8, text({0x10000}).utf8), 0);
  EXPECT_LT(CompareBinary("A", "a"), 0);
  EXPECT_LT(CompareBinary("", "a"), 0);
  EXPECT_LT(CompareBinary("a", "a/b"), 0);
  EXPECT_EQ(CompareBinary("a/b", "a/b"), 0);

  const std::vector<char32_t> alphabet = {'a', 'B', '/', 0xE9, 0x7FF, 0x800, 0xD7FF, 0xE000,
                                          0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
  std::mt19937 rng(7);
  std::vector<Text> texts;
  for (int i = 0; i < 400; ++i) {
    std::vector<char32_t> cps(rng() % 5);
    for (char32_t& c : cps) c = alphabet[rng() % alphabet.size()];
    texts.push_back(text(cps));
  }
  for (const Text& a : texts)
    for (const Text& b : texts)
      ASSERT_EQ(sign(CompareBinary(a.utf8, b.utf8)), sign(a.utf16.compare(b.utf16))) << a.utf8 << " / " << b.utf8;

  StringList list;
  for (const Text& t : texts) list.push_back(t.utf8);
  QuickSortStrings(list, 0, lastIndex(list));
  std::sort(texts.begin(), texts.end(), [](const Text& a, const Text& b) { return a.utf16 < b.utf16; });
  for (std::size_t i = 0; i < list.size(); ++i) ASSERT_EQ(list[i], texts[i].utf8) << i;
}

TEST(QuickSortStrings, SortsTheGivenRangeOnly) {
  StringList list = {"b", "A", "a", ""};
  QuickSortStrings(list, 0, 3);
  EXPECT_EQ(list, (StringList{"", "A", "a", "b"}));

  list = {"a/b", "a", "a/b/c", "a"};
  QuickSortStrings(list, 0, 3);
  EXPECT_EQ(list, (StringList{"a", "a", "a/b", "a/b/c"}));

  list = {"z", "d", "c", "b", "a", "0"};
  QuickSortStrings(list, 1, 4);
  QuickSortStrings(list, 5, 5);
  QuickSortStrings(list, 3, 2);  // an empty range
  EXPECT_EQ(list, (StringList{"z", "a", "b", "c", "d", "0"}));

  EXPECT_THROW(QuickSortStrings(list, 0, 6), std::out_of_range);
  EXPECT_THROW(QuickSortStrings(list, -1, 1), std::out_of_range);
}

TEST(QuickSortStrings, PivotIsTheMeanRoundedHalfToEven) {
  const std::pair<int32_t, int32_t> ranges[] = {{1, 2}, {0, 3}, {2, 3}, {0, 1}, {3, 4}, {2, 6}, {5, 5}};
  const int32_t expected[] = {2, 2, 2, 0, 4, 4, 5};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(PivotIndex(ranges[i].first, ranges[i].second), expected[i]) << i;
}

std::string padded(int n) {
  std::string digits = std::to_string(n);
  return "dir/" + std::string(7 - digits.size(), '0') + digits;
}

TEST(QuickSortStrings, HandlesAMillionEqualSortedOrReversedEntries) {
  const int n = 1'000'000;
  StringList equal(n, "Mail/Users/bob");
  QuickSortStrings(equal, 0, n - 1);
  EXPECT_EQ(std::count(equal.begin(), equal.end(), "Mail/Users/bob"), n);

  StringList ascending;
  for (int i = 0; i < n; ++i) ascending.push_back(padded(i));
  StringList list = ascending;
  QuickSortStrings(list, 0, n - 1);
  EXPECT_EQ(list, ascending);
  std::reverse(list.begin(), list.end());
  QuickSortStrings(list, 0, n - 1);
  EXPECT_EQ(list, ascending);
}

// Every partition around the middle position meets the largest value of its range, so a sort
// that recursed into both sides would nest once per entry and overflow the small stack.
TEST(QuickSortStrings, StackDepthStaysSmallOnTheWorstCaseInput) {
  const int n = 6000;
  std::vector<int> slotAt(n), value(n);
  for (int i = 0; i < n; ++i) slotAt[i] = i;
  for (int r = n - 1; r >= 1; --r) {
    const int m = PivotIndex(0, r);
    value[slotAt[m]] = r;
    std::swap(slotAt[m], slotAt[r]);
  }
  value[slotAt[0]] = 0;
  StringList list;
  for (int v : value) list.push_back(padded(v));

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  auto sortAll = [](void* l) -> void* {
    QuickSortStrings(*static_cast<StringList*>(l), 0, lastIndex(*static_cast<StringList*>(l)));
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, sortAll, &list), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  for (int i = 0; i < n; ++i) ASSERT_EQ(list[i], padded(i));
}

TEST(RemoveDuplicates, BlanksRunsOfEqualNeighboursThenPacks) {
  const std::pair<StringList, StringList> cases[] = {
      {{"", "", "a", "a", "a", "b"}, {"a", "b"}},
      {{"a", "b", "a"}, {"a", "b", "a"}},  // not neighbours
      {{"a", "", "a"}, {"a", "a"}},        // an empty entry ends a run
      {{"a", "b", "b", "c", "c", "c"}, {"a", "b", "c"}},
      {{"", ""}, {}},
      {{}, {}},
  };
  for (const auto& [input, expected] : cases) {
    StringList list = input;
    RemoveDuplicates(list);
    EXPECT_EQ(list, expected);
  }

  std::mt19937 rng(11);
  StringList list;
  std::set<std::string, decltype(&BinaryLess)> distinct(&BinaryLess);
  for (int i = 0; i < 5000; ++i) {
    list.push_back(rng() % 10 == 0 ? "" : "f" + std::to_string(rng() % 300) + (rng() % 2 ? "/x" : ""));
    if (!list.back().empty()) distinct.insert(list.back());
  }
  QuickSortStrings(list, 0, lastIndex(list));
  RemoveDuplicates(list);
  EXPECT_EQ(list, StringList(distinct.begin(), distinct.end()));
}

TEST(GetFolderPart, KeepsEverythingUpToTheLastSeparator) {
  EXPECT_EQ(GetFolderPart("mail/inbox/1.msg"), "mail/inbox/");
  EXPECT_EQ(GetFolderPart("1.msg"), "");
  EXPECT_EQ(GetFolderPart("mail/inbox/"), "mail/inbox/");
  EXPECT_EQ(GetFolderPart("/a.msg"), "/");
  EXPECT_EQ(GetFolderPart("m\xC3\xA9l/\xF0\x9F\x98\x80.msg"), "m\xC3\xA9l/");
  EXPECT_EQ(GetFolderPart("Mail\\bob\\1.msg", '\\'), "Mail\\bob\\");
  EXPECT_EQ(GetFolderPart("Mail\\bob\\1.msg"), "");  // a backslash is an ordinary character here
}

}  // namespace
}  // namespace conversion
