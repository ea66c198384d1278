// The state a message had on the mail server (read, answered, flagged, draft, deleted), and
// how it is carried into the store: message flags, the replied icon and verb, a follow-up flag.
#pragma once

#include <cstdint>

#include "pst/messaging/message_content.h"

namespace conversion {

struct MessageStatus {
  bool read = true;
  bool answered = false;
  bool flagged = false;
  bool draft = false;
  bool deleted = false;  // marked for deletion on the server; converted all the same
};

// The status a server index record's flags byte (conversion/server_index.h) describes.
MessageStatus StatusFromServerFlags(uint8_t flags);

// The PR_MESSAGE_FLAGS value of a stored message in `status`.
int32_t MessageFlagsFor(const MessageStatus& status, bool hasAttachments);

// Adds to `message` what its status needs beyond the message flags: PR_LAST_VERB_EXECUTED and
// PR_ICON_INDEX when answered; the follow-up flag properties when flagged.
void AddStatusProperties(const MessageStatus& status, pst::messaging::MessageContent& message);

}  // namespace conversion
