// A parsed GMime message to the MAPI form the store writes.
#pragma once

#include <gmime/gmime.h>

#include <cstddef>
#include <cstdint>

#include "mail/header_fields.h"
#include "pst/messaging/content_check.h"
#include "pst/messaging/message_content.h"

namespace mail {

// Embedded messages deeper than the store takes are kept as .eml attachments rather than
// converted, so a crafted message cannot exhaust the stack.
constexpr int kMaxEmbeddingDepth = pst::messaging::kMaxEmbeddingDepth;

// Recipient rows kept per message (To, Cc and Bcc together), and Reply-To entries. Mail
// systems deliver to a few hundred or a thousand recipients at the most; a field listing
// hundreds of thousands is spam or damage, and each row costs about a kilobyte in memory and
// in the PST. Addresses beyond the bound stay in the display lists (PidTagDisplayTo...) and
// in the Internet headers.
constexpr size_t kMaxRecipientRows = 10000;

// `fields` are the message's own header fields (HeaderFields::parse of its header block, or
// HeaderFields::of an embedded message); `message` gives the MIME structure.
// `fallbackTime` dates the message when it has no usable Date or Received header.
pst::messaging::MessageContent buildMessage(GMimeMessage* message, const HeaderFields& fields, uint64_t fallbackTime,
                                            int depth = 0);

// Whether a header field dates the message (Date, Received or X-MDArrival-Date that parses).
bool hasHeaderDate(const HeaderFields& fields);

// A message with nothing a reader could be shown: no sender, recipient, subject, date, text
// or attachment.
bool showsNothing(const pst::messaging::MessageContent& message, const HeaderFields& fields);

}  // namespace mail
