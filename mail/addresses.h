// Address headers (From, Sender, To, Cc, Bcc, Reply-To) as mailboxes, and the MAPI property
// groups Outlook shows them by.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pst/ltp/property.h"

namespace mail {

struct Mailbox {
  std::string name;     // decoded display name; the address when the header gave none
  std::string address;  // addr-spec, possibly empty for a bare name
};

// Hands each mailbox of a raw address-list header value to `take`, in order, until `take`
// returns false. Groups contribute their members; an empty group such as
// "undisclosed-recipients:;" contributes nothing. Raw 8-bit names are read as decodeUndeclared
// does, with `likelyCharset`. A long list is parsed address by address, so that a field of a
// million addresses never has them all parsed at once.
void forEachMailbox(std::string_view rawValue, std::string_view likelyCharset,
                    const std::function<bool(Mailbox&&)>& take);

// All of them.
std::vector<Mailbox> parseAddressList(std::string_view rawValue, std::string_view likelyCharset = {});

enum class AddressGroup { SentRepresenting, Sender };

// Name, address type, address, one-off entry ID, search key and SMTP address of one group.
std::vector<pst::Property> senderProperties(const Mailbox& mailbox, AddressGroup group);

// One recipient table row.
std::vector<pst::Property> recipientRow(const Mailbox& mailbox, int32_t recipientType);

// A FLATENTRYLIST of one-off entry IDs, as PidTagReplyRecipientEntries holds them.
pst::Bytes flatEntryList(const std::vector<Mailbox>& mailboxes);

}  // namespace mail
