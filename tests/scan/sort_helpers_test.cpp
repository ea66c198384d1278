#include "conversion/sort_helpers.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace conversion {
namespace {

// Test input is built from code points, so both encodings come from one source and the
// UTF-16 order needs no decoder.
struct Encoded {
  std::string utf8;
  std::u16string utf16;
};

Encoded encode(const std::vector<char32_t>& codePoints) {
  Encoded e;
  for (char32_t c : codePoints) {
    if (c < 0x80) {
      e.utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      e.utf8 += static_cast<char>(0xC0 | (c >> 6));
      e.utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      e.utf8 += static_cast<char>(0xE0 | (c >> 12));
      e.utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      e.utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      e.utf8 += static_cast<char>(0xF0 | (c >> 18));
      e.utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      e.utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      e.utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
    if (c < 0x10000) {
      e.utf16 += static_cast<char16_t>(c);
    } else {
      e.utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      e.utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return e;
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(BinaryCompare, FollowsUtf16CodeUnitsNotUtf8Bytes) {
  const std::string supplementary = encode({0x10000}).utf8;  // F0 90 80 80, surrogates D800 DC00
  const std::string privateUse = encode({0xE000}).utf8;      // EE 80 80
  EXPECT_LT(CompareBinary(supplementary, privateUse), 0);     // byte order says the opposite
  EXPECT_GT(CompareBinary(encode({0xFFFD}).utf8, encode({0x1F600}).utf8), 0);
  EXPECT_LT(CompareBinary(encode({0xD7FF}).utf8, supplementary), 0);
  EXPECT_LT(CompareBinary("A", "a"), 0);
  EXPECT_LT(CompareBinary("", "a"), 0);
  EXPECT_LT(CompareBinary("a", "a/b"), 0);
  EXPECT_EQ(CompareBinary("a/b", "a/b"), 0);
}

TEST(BinaryCompare, AgreesWithUtf16OrderOnMixedText) {
  const std::vector<char32_t> alphabet = {'a', 'B', '/', 0xE9, 0x7FF, 0x800, 0xD7FF, 0xE000,
                                          0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
  std::mt19937 rng(7);
  std::vector<Encoded> texts;
  for (int i = 0; i < 400; ++i) {
    std::vector<char32_t> cps(rng() % 5);
    for (char32_t& c : cps) c = alphabet[rng() % alphabet.size()];
    texts.push_back(encode(cps));
  }
  for (const Encoded& a : texts)
    for (const Encoded& b : texts)
      ASSERT_EQ(sign(CompareBinary(a.utf8, b.utf8)), sign(a.utf16.compare(b.utf16)))
          << a.utf8 << " vs " << b.utf8;

  StringList list;
  for (const Encoded& t : texts) list.push_back(t.utf8);
  QuickSortStrings(list, 0, static_cast<int32_t>(list.size()) - 1);
  std::vector<Encoded> expected = texts;
  std::sort(expected.begin(), expected.end(),
            [](const Encoded& a, const Encoded& b) { return a.utf16 < b.utf16; });
  for (std::size_t i = 0; i < list.size(); ++i) ASSERT_EQ(list[i], expected[i].utf8) << i;
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
  EXPECT_EQ(list, (StringList{"z", "a", "b", "c", "d", "0"}));
  QuickSortStrings(list, 5, 5);
  QuickSortStrings(list, 3, 2);  // empty range
  EXPECT_EQ(list, (StringList{"z", "a", "b", "c", "d", "0"}));
}

TEST(QuickSortStrings, RefusesARangeOutsideTheList) {
  StringList list = {"b", "a"};
  EXPECT_THROW(QuickSortStrings(list, 0, 2), std::out_of_range);
  EXPECT_THROW(QuickSortStrings(list, -1, 1), std::out_of_range);
  EXPECT_EQ(list, (StringList{"b", "a"}));
}

TEST(QuickSortStrings, PivotIsTheMeanRoundedHalfToEven) {
  EXPECT_EQ(PivotIndex(1, 2), 2);
  EXPECT_EQ(PivotIndex(0, 3), 2);
  EXPECT_EQ(PivotIndex(2, 3), 2);
  EXPECT_EQ(PivotIndex(0, 1), 0);
  EXPECT_EQ(PivotIndex(3, 4), 4);
  EXPECT_EQ(PivotIndex(2, 6), 4);
  EXPECT_EQ(PivotIndex(5, 5), 5);
}

std::string padded(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "dir/%07d", n);
  return buffer;
}

TEST(QuickSortStrings, HandlesAMillionEqualSortedOrReversedEntries) {
  const int n = 1'000'000;
  StringList equal(n, "Mail/Users/bob/Inbox");
  QuickSortStrings(equal, 0, n - 1);
  EXPECT_TRUE(std::all_of(equal.begin(), equal.end(), [](const std::string& s) { return s == "Mail/Users/bob/Inbox"; }));

  StringList ascending;
  for (int i = 0; i < n; ++i) ascending.push_back(padded(i));
  StringList list = ascending;
  QuickSortStrings(list, 0, n - 1);
  EXPECT_EQ(list, ascending);

  std::reverse(list.begin(), list.end());
  QuickSortStrings(list, 0, n - 1);
  EXPECT_EQ(list, ascending);
}

// Input on which every partition around the middle position takes the largest value of its
// range, so a sort that recursed into both sides would nest once per entry.
StringList worstCaseForMiddlePivot(int n) {
  std::vector<int> slotAt(n);
  for (int i = 0; i < n; ++i) slotAt[i] = i;
  std::vector<int> value(n);
  for (int r = n - 1; r >= 1; --r) {
    const int m = PivotIndex(0, r);
    value[slotAt[m]] = r;
    std::swap(slotAt[m], slotAt[r]);
  }
  value[slotAt[0]] = 0;
  StringList list;
  for (int v : value) list.push_back(padded(v));
  return list;
}

TEST(QuickSortStrings, StackDepthStaysSmallOnTheWorstCaseInput) {
  const int n = 6000;
  StringList list = worstCaseForMiddlePivot(n);
  // One frame per entry would need far more than this stack.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    auto* l = static_cast<StringList*>(arg);
    QuickSortStrings(*l, 0, static_cast<int32_t>(l->size()) - 1);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &list), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  for (int i = 0; i < n; ++i) ASSERT_EQ(list[i], padded(i));
}

TEST(RemoveDuplicates, BlanksRunsOfNeighboursThenPacks) {
  StringList list = {"", "", "a", "a", "a", "b"};
  RemoveDuplicates(list);
  EXPECT_EQ(list, (StringList{"a", "b"}));

  list = {"a", "b", "a"};  // not neighbours
  RemoveDuplicates(list);
  EXPECT_EQ(list, (StringList{"a", "b", "a"}));

  list = {"a", "", "a"};  // an empty entry ends a run
  RemoveDuplicates(list);
  EXPECT_EQ(list, (StringList{"a", "a"}));

  list = {"a", "b", "b", "c", "c", "c"};
  RemoveDuplicates(list);
  EXPECT_EQ(list, (StringList{"a", "b", "c"}));

  list = {"", ""};
  RemoveDuplicates(list);
  EXPECT_TRUE(list.empty());
  RemoveDuplicates(list);
  EXPECT_TRUE(list.empty());
}

TEST(RemoveDuplicates, AfterSortingLeavesEachDistinctFolderOnce) {
  std::mt19937 rng(11);
  StringList list;
  std::set<std::string, decltype(&BinaryLess)> expected(&BinaryLess);
  for (int i = 0; i < 5000; ++i) {
    std::string s = rng() % 10 == 0 ? "" : "f" + std::to_string(rng() % 300) + (rng() % 2 ? "/x" : "");
    list.push_back(s);
    if (!s.empty()) expected.insert(s);
  }
  QuickSortStrings(list, 0, static_cast<int32_t>(list.size()) - 1);
  RemoveDuplicates(list);
  EXPECT_EQ(list, StringList(expected.begin(), expected.end()));
}

TEST(GetFolderPart, KeepsEverythingUpToTheLastSeparator) {
  EXPECT_EQ(GetFolderPart("mail/inbox/1.msg"), "mail/inbox/");
  EXPECT_EQ(GetFolderPart("1.msg"), "");
  EXPECT_EQ(GetFolderPart("mail/inbox/"), "mail/inbox/");
  EXPECT_EQ(GetFolderPart("/a.msg"), "/");
  EXPECT_EQ(GetFolderPart(""), "");
  EXPECT_EQ(GetFolderPart("m\xC3\xA9l/\xF0\x9F\x98\x80.msg"), "m\xC3\xA9l/");
  EXPECT_EQ(GetFolderPart("Mail\\bob\\1.msg", '\\'), "Mail\\bob\\");
  EXPECT_EQ(GetFolderPart("Mail\\bob\\1.msg"), "");  // a backslash is an ordinary character here
}

}  // namespace
}  // namespace conversion
