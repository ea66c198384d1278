// Mailbox and domain folders that are links (an administrator moves a big mailbox to another
// disk and leaves a link in its place). The folder scan follows no link, as a link back to an
// ancestor would never end; --per-mailbox looks for them itself.
#pragma once

#include <string>
#include <vector>

#include "conversion/engine.h"
#include "conversion/mailbox_layout.h"

namespace cli {

struct MailboxLinks {
  // The links to scan as well, by their own paths (so that their files keep their places).
  std::vector<std::string> followed;
  // Links not followed, each a folder entry ("path/") with the reason.
  std::vector<conversion::SkippedEntry> refused;
};

// A link in the place of a domain or mailbox folder is followed when it leads to a folder
// outside the store that no other followed link leads into; a link that leads inside the store
// (converted where it lies), back to a folder holding the store (a loop), into a folder another
// link leads to, or nowhere, is refused with the reason.
MailboxLinks FindMailboxLinks(const conversion::StoreLayout& layout);

}  // namespace cli
