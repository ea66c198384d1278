// Address headers (From, Sender, To, Cc, Bcc, Reply-To) as mailboxes, and the MAPI property
// groups Outlook shows them by.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pst/ltp/property.h"

namespace mail {

struct Mailbox {
  std::string name;     // decoded display name; the address when the header gave none
  std::string address;  // addr-spec, possibly empty for a bare name
};

// Parses a raw address-list header value. Groups contribute their members; an empty group
// such as "undisclosed-recipients:;" contributes nothing.
// Raw 8-bit names are read as decodeUndeclared does, with `likelyCharset`.
std::vector<Mailbox> parseAddressList(std::string_view rawValue, std::string_view likelyCharset = {});

enum class AddressGroup { SentRepresenting, Sender };

// Name, address type, address, one-off entry ID, search key and SMTP address of one group.
std::vector<pst::Property> senderProperties(const Mailbox& mailbox, AddressGroup group);

// One recipient table row.
std::vector<pst::Property> recipientRow(const Mailbox& mailbox, int32_t recipientType);

// A FLATENTRYLIST of one-off entry IDs, as PidTagReplyRecipientEntries holds them.
pst::Bytes flatEntryList(const std::vector<Mailbox>& mailboxes);

}  // namespace mail
