// Walks a message's MIME tree: picks the body (plain and/or HTML) and turns every other part
// into an attachment, so that no part of the mail is dropped.
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <vector>

#include "pst/messaging/message_content.h"

namespace mail {

struct MessageBody {
  std::optional<std::string> plain;  // UTF-8
  std::string plainCharset;
  std::optional<pst::Bytes> html;    // in htmlCharset
  std::string htmlCharset;
};

struct WalkedContent {
  MessageBody body;
  std::vector<pst::messaging::AttachmentContent> attachments;
  bool encrypted = false;  // S/MIME enveloped data: the body cannot be read without the key
};

// Walks the MIME tree of `message`.
WalkedContent walkContent(GMimeMessage* message, uint64_t fallbackTime, int embeddingDepth);

}  // namespace mail
