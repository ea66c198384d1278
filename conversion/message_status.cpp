#include "conversion/message_status.h"

#include <algorithm>

#include "conversion/server_index.h"

namespace conversion {

namespace {

using pst::Guid;
using pst::PropType;
using pst::PropValue;

constexpr int32_t kFlagRead = 0x01;
constexpr int32_t kFlagUnsent = 0x08;
constexpr int32_t kFlagHasAttach = 0x10;

constexpr pst::PropTag kIconIndex = 0x10800003;
constexpr pst::PropTag kLastVerbExecuted = 0x10810003;
constexpr pst::PropTag kFlagStatus = 0x10900003;
constexpr pst::PropTag kFollowupIcon = 0x10950003;
constexpr pst::PropTag kToDoItemFlags = 0x0E2B0003;

constexpr int32_t kIconRepliedMail = 0x105;
constexpr int32_t kVerbReplyToSender = 102;
constexpr int32_t kFollowupFlagged = 2;
constexpr int32_t kFollowupIconRed = 6;
constexpr int32_t kToDoTimeFlagged = 1;

// {00062008-0000-0000-C000-000000000046} and {00062003-...}, in their stored byte order.
constexpr Guid kPsetidCommon{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kPsetidTask{0x03, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr uint32_t kLidFlagRequest = 0x8530;
constexpr uint32_t kLidTaskStatus = 0x8101;
constexpr uint32_t kLidPercentComplete = 0x8102;
constexpr uint32_t kLidTaskComplete = 0x811C;

void setProp(pst::messaging::MessageContent& message, pst::PropTag tag, PropValue value) {
  auto it = std::find_if(message.props.begin(), message.props.end(), [tag](const pst::Property& p) { return p.tag == tag; });
  if (it != message.props.end()) {
    it->value = std::move(value);
  } else {
    message.props.push_back(pst::Property{tag, std::move(value)});
  }
}

void setNamed(pst::messaging::MessageContent& message, const Guid& set, uint32_t lid, PropType type, PropValue value) {
  pst::messaging::NamedPropertyKey key{set, lid};
  auto it = std::find_if(message.named.begin(), message.named.end(),
                         [&key](const pst::messaging::NamedProperty& p) { return p.key == key; });
  if (it != message.named.end()) {
    it->type = type;
    it->value = std::move(value);
  } else {
    message.named.push_back(pst::messaging::NamedProperty{std::move(key), type, std::move(value)});
  }
}

}  // namespace

MessageStatus StatusFromServerFlags(uint8_t flags) {
  MessageStatus status;
  status.read = (flags & kServerSeen) != 0;
  status.answered = (flags & kServerAnswered) != 0;
  status.flagged = (flags & kServerFlagged) != 0;
  status.draft = (flags & kServerDraft) != 0;
  status.deleted = (flags & kServerDeleted) != 0;
  return status;
}

int32_t MessageFlagsFor(const MessageStatus& status, bool hasAttachments) {
  return (status.read ? kFlagRead : 0) | (status.draft ? kFlagUnsent : 0) | (hasAttachments ? kFlagHasAttach : 0);
}

void AddStatusProperties(const MessageStatus& status, pst::messaging::MessageContent& message) {
  if (status.answered) {
    setProp(message, kLastVerbExecuted, int32_t{kVerbReplyToSender});
    setProp(message, kIconIndex, int32_t{kIconRepliedMail});
  }
  if (status.flagged) {
    // A follow-up flag without dates, as a mail client sets one with a click.
    setProp(message, kFlagStatus, int32_t{kFollowupFlagged});
    setProp(message, kFollowupIcon, int32_t{kFollowupIconRed});
    setProp(message, kToDoItemFlags, int32_t{kToDoTimeFlagged});
    setNamed(message, kPsetidCommon, kLidFlagRequest, PropType::Unicode, std::string("Follow up"));
    setNamed(message, kPsetidTask, kLidTaskStatus, PropType::Int32, int32_t{0});
    setNamed(message, kPsetidTask, kLidPercentComplete, PropType::Double, 0.0);
    setNamed(message, kPsetidTask, kLidTaskComplete, PropType::Boolean, int32_t{0});
  }
}

}  // namespace conversion
