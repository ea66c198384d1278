// The files of a server's store split by the PST each goes into: one per mailbox, one per top
// folder that holds messages outside every mailbox (Public Folders...).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/path_list.h"
#include "conversion/mailbox_layout.h"

namespace cli {

struct MailboxGroup {
  std::string store;   // the address, or the top folder's name: names the PST and its store
  std::string folder;  // the mailbox's or top folder's own folder (conversion::MailboxPlace)
  bool isMailbox = false;
  std::vector<uint32_t> rows;  // into the file list, in its order
};

// Mailboxes first, in order of their addresses, then the other top folders by name. Files
// outside the layout's folder (none when they were found below it) are left out. Two folders
// whose names read the same ("Users/b/c@a" and "Users/a@b/c" are both "c@a@b") never share a
// PST: the later one's name takes " (2)", and so on.
std::vector<MailboxGroup> GroupByMailbox(const PathList& files, const conversion::StoreLayout& layout);

// The `k`-th (1..n) of `n` slices of `groups`: every n-th group from the k-th. Stable for a
// store that does not change, so that n jobs together convert every group once.
std::vector<MailboxGroup> ShardOf(std::vector<MailboxGroup> groups, unsigned k, unsigned n);

}  // namespace cli
