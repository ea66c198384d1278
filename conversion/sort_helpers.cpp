#include "conversion/sort_helpers.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace conversion {

namespace {

// The strings agree up to the first differing byte, so both bytes sit at the same offset of a
// character with the same lead length, or are both lead bytes. Only the leads 0xEE and 0xEF
// (U+E000..U+FFFF) must move: above the 4-byte leads 0xF0..0xF4, whose UTF-16 surrogates
// 0xD800..0xDFFF are smaller. No continuation byte has either value.
unsigned weight(unsigned char byte) {
  return (byte == 0xEE || byte == 0xEF) ? byte + 0x100u : byte;
}

// Hoare partition around the value at PivotIndex, then the smaller side by recursion and the
// larger by the loop, so the depth is at most log2 of the range length.
void sortRange(StringList& list, int32_t first, int32_t last) {
  while (first < last) {
    const std::string pivot = list[static_cast<std::size_t>(PivotIndex(first, last))];
    int32_t lo = first;
    int32_t hi = last;
    do {
      while (lo < last && BinaryLess(list[lo], pivot)) ++lo;
      while (hi > first && BinaryLess(pivot, list[hi])) --hi;
      if (lo <= hi) {
        std::swap(list[lo], list[hi]);
        ++lo;
        --hi;
      }
    } while (lo <= hi);

    const int32_t leftLength = first < hi ? hi - first + 1 : 0;
    const int32_t rightLength = lo < last ? last - lo + 1 : 0;
    if (leftLength < rightLength) {
      if (leftLength > 0) sortRange(list, first, hi);
      first = lo;
    } else {
      if (rightLength > 0) sortRange(list, lo, last);
      last = hi;
    }
  }
}

}  // namespace

int CompareBinary(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  const auto [pa, pb] = std::mismatch(a.begin(), a.begin() + common, b.begin());
  if (pa == a.begin() + common) {
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }
  return weight(static_cast<unsigned char>(*pa)) < weight(static_cast<unsigned char>(*pb)) ? -1
                                                                                          : 1;
}

int32_t PivotIndex(int32_t first, int32_t last) {
  const int64_t sum = int64_t{first} + last;  // indices into a list, so never negative
  const int64_t below = sum / 2;
  return static_cast<int32_t>(sum % 2 == 0 || below % 2 == 0 ? below : below + 1);
}

void QuickSortStrings(StringList& list, int32_t first, int32_t last) {
  if (last < first) return;
  if (first < 0 || static_cast<std::size_t>(last) >= list.size())
    throw std::out_of_range("Cannot sort entries " + std::to_string(first) + " to " +
                            std::to_string(last) + " of a list with " +
                            std::to_string(list.size()) +
                            " entries; pass a range inside the list.");
  sortRange(list, first, last);
}

void RemoveDuplicates(StringList& list) {
  if (list.empty()) return;
  const std::size_t n = list.size() - 1;
  std::size_t j = 0;
  std::size_t g = 1;
  while (j + g <= n) {
    if (list[j].empty()) {
      ++j;
    } else if (list[j + g] == list[j]) {
      list[j + g].clear();
      ++g;
    } else {
      g = 1;
      ++j;
    }
  }

  std::size_t kept = 0;
  for (std::string& entry : list) {
    if (entry.empty()) continue;
    if (&entry != &list[kept]) list[kept] = std::move(entry);
    ++kept;
  }
  list.resize(kept);
}

std::string GetFolderPart(std::string_view path, char separator) {
  const std::size_t cut = path.rfind(separator);
  if (cut == std::string_view::npos) return {};
  return std::string(path.substr(0, cut + 1));
}

}  // namespace conversion
