#include "cli/mailbox_groups.h"

#include <algorithm>
#include <map>
#include <utility>

namespace cli {

std::vector<MailboxGroup> GroupByMailbox(const PathList& files, const conversion::StoreLayout& layout) {
  // Keyed by (not a mailbox, name): mailboxes sort before the other folders.
  std::map<std::pair<bool, std::string>, MailboxGroup> groups;
  for (size_t row = 0; row < files.size(); ++row) {
    const auto place = conversion::PlaceOf(layout, files.at(row));
    if (!place) continue;
    MailboxGroup& group = groups[{!place->isMailbox, place->store}];
    group.store = place->store;
    group.isMailbox = place->isMailbox;
    group.rows.push_back(static_cast<uint32_t>(row));
  }
  std::vector<MailboxGroup> ordered;
  ordered.reserve(groups.size());
  for (auto& [key, group] : groups) ordered.push_back(std::move(group));
  return ordered;
}

std::vector<MailboxGroup> ShardOf(std::vector<MailboxGroup> groups, unsigned k, unsigned n) {
  std::vector<MailboxGroup> slice;
  for (size_t i = k - 1; i < groups.size(); i += n) slice.push_back(std::move(groups[i]));
  return slice;
}

}  // namespace cli
