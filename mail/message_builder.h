// A parsed GMime message to the MAPI form the store writes.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>

#include "pst/messaging/content_check.h"
#include "pst/messaging/message_content.h"

namespace mail {

// Embedded messages deeper than the store takes are kept as .eml attachments rather than
// converted, so a crafted message cannot exhaust the stack.
constexpr int kMaxEmbeddingDepth = pst::messaging::kMaxEmbeddingDepth;

// `fallbackTime` dates the message when it has no usable Date or Received header.
pst::messaging::MessageContent buildMessage(GMimeMessage* message, uint64_t fallbackTime, int depth = 0);

}  // namespace mail
