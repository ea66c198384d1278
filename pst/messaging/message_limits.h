// How large a message can be in a PST file, checked before and after it is written.
#pragma once

#include <cstdint>
#include <string>

#include "pst/messaging/message_content.h"

namespace pst::messaging {

// PidTagMessageSize and PidTagAttachSize are signed 32-bit counts of the bytes stored.
constexpr uint64_t kMaxMessageBytes = 0x7FFFFFFF;

// pst::Error before anything is written when the values alone, as stored, already exceed
// kMaxMessageBytes: a message that cannot fit is refused without writing gigabytes first.
void checkMessageFits(const MessageContent& message);

// The reason given for a message that takes `stored` bytes: the size, the limit and the
// message's largest part.
std::string tooLargeReason(uint64_t stored, const MessageContent& message);

}  // namespace pst::messaging
