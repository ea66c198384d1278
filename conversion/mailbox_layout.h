// How a mail server's store is laid out: <store>/Users/<domain>/<mailbox>/ holds one
// mailbox's messages, its IMAP folders as <Name>.IMAP below it; anything else with messages
// (Public Folders, say) lies beside Users. Used to give every mailbox a PST of its own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace conversion {

struct StoreLayout {
  enum class Given { StoreRoot, UsersFolder, DomainFolder };
  Given given = Given::StoreRoot;
  std::filesystem::path folder;  // the folder as given, absolute and without a trailing "/"
};

// What `folder` is: the folder holding Users, the Users folder, or a domain folder inside it
// (names matched in any letter case). None, with `why` set, for anything else.
std::optional<StoreLayout> DetectStoreLayout(const std::filesystem::path& folder, std::string* why);

// The PST a message file goes into and the folder inside it.
struct MailboxPlace {
  std::string store;       // the mailbox's address ("alice@example.com"), or the top folder's name
  bool isMailbox = false;  // false: messages outside every mailbox (Public Folders...)
  std::string folderPath;  // inside the PST, components joined by "\": "Inbox", "Lists\Work"
  // The mailbox's folder or the top folder, relative to the layout's folder
  // ("Users/example.com/alice"): tells apart two mailboxes whose addresses read the same.
  std::string folder;
};

// Where `file` (a path below the layout's folder) belongs. A mailbox's own messages go to
// "Inbox", its folder "Name.IMAP" to "Name" (the suffix in any letter case; "Deleted Items.IMAP"
// thus to the store's own "Deleted Items"), and nested folders likewise. Messages outside every
// mailbox go to a PST named after their top folder, its subfolders named the same way, and
// messages lying in that top folder itself to a folder of its name. None for a path outside
// the layout's folder. A backslash in a name stays part of that name (kBackslashStandIn), in the
// store's name as in its folders, as in a run into one PST.
std::optional<MailboxPlace> PlaceOf(const StoreLayout& layout, const std::filesystem::path& file);

// `name` without a trailing ".IMAP" in any letter case.
std::string WithoutImapSuffix(std::string_view name);

}  // namespace conversion
