// Sorting, de-duplication and path cutting for the conversion run's folder list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// Zero-based, resizable, worked on in place; an empty entry marks an unused slot.
using StringList = std::vector<std::string>;

inline constexpr char kPathSeparator = '/';

// Three-way comparison of two UTF-8 strings in the order of their UTF-16 code units
// (case-sensitive, locale-free, a proper prefix first). It differs from byte order only in
// putting characters beyond U+FFFF before U+E000..U+FFFF, as their surrogates do.
int CompareBinary(std::string_view a, std::string_view b);

inline bool BinaryLess(std::string_view a, std::string_view b) { return CompareBinary(a, b) < 0; }

// The pivot position for the range first..last: their mean, a half rounded to the even integer.
int32_t PivotIndex(int32_t first, int32_t last);

// Sorts list[first..last] ascending by CompareBinary, leaving the rest untouched. An empty
// range (last < first) does nothing; a range outside the list throws std::out_of_range.
// Stack depth stays logarithmic whatever the input.
void QuickSortStrings(StringList& list, int32_t first, int32_t last);

// Blanks every entry equal to the non-empty entry directly before its run, then packs the
// non-empty entries to the front and shrinks the list to them (possibly to no entries).
// On a sorted list this leaves each distinct non-empty string once.
void RemoveDuplicates(StringList& list);

// `path` up to and including its last separator; empty when it has none.
std::string GetFolderPart(std::string_view path, char separator = kPathSeparator);

}  // namespace conversion
