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
  for (PropTag t : {kLtpRowId, kLtpRowVer})
    if (std::find(tags.begin(), tags.end(), t) == tags.end()) tags.push_back(t);
  std::sort(tags.begin(), tags.end());
  for (size_t i = 0; i < tags.size(); ++i) {
    if (!isKnownType(tagType(tags[i]))) throw Error("column " + tagText(tags[i]) + " has a type tables cannot hold");
    if (i > 0 && tagId(tags[i]) == tagId(tags[i - 1]))
      throw Error("columns " + tagText(tags[i - 1]) + " and " + tagText(tags[i]) + " share one property id");
  }
  if (tags.size() > 255) throw Error("a table holds at most 255 columns");

  // Placement order: the two row keys first, then by cell size, largest first (keeps 8-byte
  // values 8-aligned after the two 4-byte keys), ties by tag.
  std::vector<PropTag> order = {kLtpRowId, kLtpRowVer};
  std::vector<PropTag> rest;
  for (PropTag t : tags)
    if (t != kLtpRowId && t != kLtpRowVer) rest.push_back(t);
  std::stable_sort(rest.begin(), rest.end(),
                   [](PropTag a, PropTag b) { return cellSize(tagType(a)) > cellSize(tagType(b)); });
  order.insert(order.end(), rest.begin(), rest.end());

  TcLayout layout;
  size_t offset = 0;
  uint8_t bit = 0;
  std::vector<TcColumn> placed;
  std::array<size_t, 3> ends{};
  for (PropTag t : order) {
    const size_t size = cellSize(tagType(t));
    placed.push_back({t, static_cast<uint16_t>(offset), static_cast<uint8_t>(size), bit++});
    offset += size;
    if (size >= 4) ends[0] = offset;
    if (size >= 2) ends[1] = offset;
    ends[2] = offset;
  }
  layout.groupEnds[0] = static_cast<uint16_t>(ends[0]);
  layout.groupEnds[1] = static_cast<uint16_t>(std::max(ends[0], ends[1]));
  layout.groupEnds[2] = static_cast<uint16_t>(std::max<size_t>(layout.groupEnds[1], ends[2]));
  layout.groupEnds[3] = static_cast<uint16_t>(layout.groupEnds[2] + (placed.size() + 7) / 8);
  std::sort(placed.begin(), placed.end(), [](const TcColumn& a, const TcColumn& b) { return a.tag < b.tag; });
  layout.columns = std::move(placed);
  return layout;
}

}  // namespace pst::ltp
