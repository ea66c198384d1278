// Checks a message before any of it is written, so a malformed one is refused whole and leaves
// no stray blocks in the file.
#pragma once

#include "pst/messaging/message_content.h"

namespace pst::messaging {

// Attached messages nest at most this deep: readpst and libpff read every level of it, and the
// verifier accepts the subnode nesting it gives (see ltp_checks.cpp). The importer keeps deeper
// messages as .eml files.
constexpr int kMaxEmbeddingDepth = 8;

// pst::Error naming the first property whose value does not fit its type (see property.h), a PtypObject
// value (only the store itself creates those), or nesting deeper than kMaxEmbeddingDepth.
void checkContent(const MessageContent& message);

}  // namespace pst::messaging
