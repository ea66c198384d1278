// Checks a message before any of it is written, so a malformed one is refused whole and leaves
// no stray blocks in the file.
#pragma once

#include "pst/messaging/message_content.h"

namespace pst::messaging {

// Deeper nesting of attached messages than this is no real mail; refusing it bounds the stack.
constexpr int kMaxEmbeddingDepth = 64;

// pst::Error naming the first property whose value does not fit its type (see property.h), a PtypObject
// value (only the store itself creates those), or nesting deeper than kMaxEmbeddingDepth.
void checkContent(const MessageContent& message);

}  // namespace pst::messaging
