#include "pst/ltp/tc_layout.h"

#include <algorithm>

#include "pst/ltp/value_codec.h"

namespace pst::ltp {

std::optional<size_t> TcLayout::find(PropTag tag) const {
  const auto it = std::lower_bound(columns.begin(), columns.end(), tag,
                                   [](const TcColumn& c, PropTag t) { return c.tag < t; });
  if (it == columns.end() || it->tag != tag) return std::nullopt;
  return static_cast<size_t>(it - columns.begin());
}

size_t cellSize(PropType type) {
  const size_t fixed = fixedSize(type);
  return fixed ? fixed : 4;
}

TcLayout layoutColumns(std::vector<PropTag> tags) {
  // The two row keys first, then the caller's order: Outlook gives bits in the order columns were
  // added and lays out each size group in that same order.
  std::vector<PropTag> order = {kLtpRowId, kLtpRowVer};
  for (PropTag t : tags)
    if (t != kLtpRowId && t != kLtpRowVer) order.push_back(t);
  std::vector<PropTag> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (!isKnownType(tagType(sorted[i]))) throw Error("column " + tagText(sorted[i]) + " has a type tables cannot hold");
    if (i > 0 && tagId(sorted[i]) == tagId(sorted[i - 1]))
      throw Error("columns " + tagText(sorted[i - 1]) + " and " + tagText(sorted[i]) + " share one property id");
  }
  if (order.size() > 255) throw Error("a table holds at most 255 columns");

  TcLayout layout;
  std::vector<TcColumn> placed(order.size());
  size_t offset = 0;
  // Group 0 holds 8- and 4-byte cells, then come the 2-byte and the 1-byte cells.
  auto groupOf = [](size_t size) { return size >= 4 ? 0 : size == 2 ? 1 : 2; };
  for (int group = 0; group < 3; ++group) {
    for (size_t i = 0; i < order.size(); ++i) {
      const size_t size = cellSize(tagType(order[i]));
      if (groupOf(size) != group) continue;
      placed[i] = {order[i], static_cast<uint16_t>(offset), static_cast<uint8_t>(size), static_cast<uint8_t>(i)};
      offset += size;
    }
    layout.groupEnds[group] = static_cast<uint16_t>(offset);
  }
  layout.groupEnds[3] = static_cast<uint16_t>(offset + (placed.size() + 7) / 8);
  std::sort(placed.begin(), placed.end(), [](const TcColumn& a, const TcColumn& b) { return a.tag < b.tag; });
  layout.columns = std::move(placed);
  return layout;
}

}  // namespace pst::ltp
