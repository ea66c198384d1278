#include "cli/mailbox_groups.h"
#include "platform/path_text.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace cli {

std::vector<MailboxGroup> GroupByMailbox(const PathList& files, const conversion::StoreLayout& layout) {
  // Keyed by (not a mailbox, name, folder): mailboxes sort before the other folders.
  std::map<std::tuple<bool, std::string, std::string>, MailboxGroup> groups;
  for (size_t row = 0; row < files.size(); ++row) {
    auto place = conversion::PlaceOf(layout, platform::pathFromText(files.at(row)));
    if (!place) continue;
    MailboxGroup& group = groups[{!place->isMailbox, place->store, place->folder}];
    if (group.rows.empty()) {
      group.store = std::move(place->store);
      group.folder = std::move(place->folder);
      group.isMailbox = place->isMailbox;
    }
    group.rows.push_back(static_cast<uint32_t>(row));
  }
  std::set<std::string> names;
  for (const auto& [key, group] : groups) names.insert(group.store);
  std::set<std::string> given;
  std::vector<MailboxGroup> ordered;
  ordered.reserve(groups.size());
  for (auto& [key, group] : groups) {
    if (!given.insert(group.store).second) {
      std::string numbered;
      for (int n = 2; numbered.empty() || names.contains(numbered); ++n) {
        numbered = group.store + " (" + std::to_string(n) + ")";
      }
      names.insert(numbered);
      given.insert(numbered);
      group.store = std::move(numbered);
    }
    ordered.push_back(std::move(group));
  }
  return ordered;
}

std::vector<MailboxGroup> ShardOf(std::vector<MailboxGroup> groups, unsigned k, unsigned n) {
  std::vector<MailboxGroup> slice;
  for (size_t i = k - 1; i < groups.size(); i += n) slice.push_back(std::move(groups[i]));
  return slice;
}

}  // namespace cli
