// MAPI property tags the importer writes, named as in the MAPI documentation.
#pragma once

#include "pst/ltp/property.h"

namespace mail::tags {

using pst::makeTag;
using pst::PropTag;
using pst::PropType;

// Message envelope
constexpr PropTag PidTagMessageClass = makeTag(0x001A, PropType::Unicode);
constexpr PropTag PidTagMessageFlags = makeTag(0x0E07, PropType::Int32);
constexpr PropTag PidTagImportance = makeTag(0x0017, PropType::Int32);
constexpr PropTag PidTagPriority = makeTag(0x0026, PropType::Int32);
constexpr PropTag PidTagSensitivity = makeTag(0x0036, PropType::Int32);
constexpr PropTag PidTagSubject = makeTag(0x0037, PropType::Unicode);
constexpr PropTag PidTagSubjectPrefix = makeTag(0x003D, PropType::Unicode);
constexpr PropTag PidTagConversationTopic = makeTag(0x0070, PropType::Unicode);
constexpr PropTag PidTagConversationIndex = makeTag(0x0071, PropType::Binary);
constexpr PropTag PidTagClientSubmitTime = makeTag(0x0039, PropType::Time);
constexpr PropTag PidTagMessageDeliveryTime = makeTag(0x0E06, PropType::Time);
constexpr PropTag PidTagMessageToMe = makeTag(0x0057, PropType::Boolean);
constexpr PropTag PidTagMessageCcMe = makeTag(0x0058, PropType::Boolean);
constexpr PropTag PidTagInternetMessageId = makeTag(0x1035, PropType::Unicode);
constexpr PropTag PidTagInReplyToId = makeTag(0x1042, PropType::Unicode);
constexpr PropTag PidTagInternetReferences = makeTag(0x1039, PropType::Unicode);
constexpr PropTag PidTagTransportMessageHeaders = makeTag(0x007D, PropType::Unicode);
constexpr PropTag PidTagInternetCodepage = makeTag(0x3FDE, PropType::Int32);
constexpr PropTag PidTagDisplayTo = makeTag(0x0E04, PropType::Unicode);
constexpr PropTag PidTagDisplayCc = makeTag(0x0E03, PropType::Unicode);
constexpr PropTag PidTagDisplayBcc = makeTag(0x0E02, PropType::Unicode);
constexpr PropTag PidTagReplyRecipientNames = makeTag(0x0050, PropType::Unicode);
constexpr PropTag PidTagReplyRecipientEntries = makeTag(0x004F, PropType::Binary);
constexpr PropTag PidTagListHelp = makeTag(0x1043, PropType::Unicode);
constexpr PropTag PidTagListSubscribe = makeTag(0x1044, PropType::Unicode);
constexpr PropTag PidTagListUnsubscribe = makeTag(0x1045, PropType::Unicode);

// Bodies
constexpr PropTag PidTagBody = makeTag(0x1000, PropType::Unicode);
constexpr PropTag PidTagHtml = makeTag(0x1013, PropType::Binary);

// Sent-representing (From) group
constexpr PropTag PidTagSentRepresentingName = makeTag(0x0042, PropType::Unicode);
constexpr PropTag PidTagSentRepresentingAddressType = makeTag(0x0064, PropType::Unicode);
constexpr PropTag PidTagSentRepresentingEmailAddress = makeTag(0x0065, PropType::Unicode);
constexpr PropTag PidTagSentRepresentingEntryId = makeTag(0x0041, PropType::Binary);
constexpr PropTag PidTagSentRepresentingSearchKey = makeTag(0x003B, PropType::Binary);
constexpr PropTag PidTagSentRepresentingSmtpAddress = makeTag(0x5D02, PropType::Unicode);

// Sender group
constexpr PropTag PidTagSenderName = makeTag(0x0C1A, PropType::Unicode);
constexpr PropTag PidTagSenderAddressType = makeTag(0x0C1E, PropType::Unicode);
constexpr PropTag PidTagSenderEmailAddress = makeTag(0x0C1F, PropType::Unicode);
constexpr PropTag PidTagSenderEntryId = makeTag(0x0C19, PropType::Binary);
constexpr PropTag PidTagSenderSearchKey = makeTag(0x0C1D, PropType::Binary);
constexpr PropTag PidTagSenderSmtpAddress = makeTag(0x5D01, PropType::Unicode);

// Recipient rows
constexpr PropTag PidTagRecipientType = makeTag(0x0C15, PropType::Int32);
constexpr PropTag PidTagDisplayName = makeTag(0x3001, PropType::Unicode);
constexpr PropTag PidTagAddressType = makeTag(0x3002, PropType::Unicode);
constexpr PropTag PidTagEmailAddress = makeTag(0x3003, PropType::Unicode);
constexpr PropTag PidTagSmtpAddress = makeTag(0x39FE, PropType::Unicode);
constexpr PropTag PidTagEntryId = makeTag(0x0FFF, PropType::Binary);
constexpr PropTag PidTagSearchKey = makeTag(0x300B, PropType::Binary);
constexpr PropTag PidTagRecipientEntryId = makeTag(0x5FF7, PropType::Binary);
constexpr PropTag PidTagRecipientDisplayName = makeTag(0x5FF6, PropType::Unicode);
constexpr PropTag PidTagDisplayType = makeTag(0x3900, PropType::Int32);
constexpr PropTag PidTagObjectType = makeTag(0x0FFE, PropType::Int32);
constexpr PropTag PidTagRecipientFlags = makeTag(0x5FFD, PropType::Int32);
constexpr PropTag PidTagSendRichInfo = makeTag(0x3A40, PropType::Boolean);

// Attachments
constexpr PropTag PidTagAttachMethod = makeTag(0x3705, PropType::Int32);
constexpr PropTag PidTagAttachDataBinary = makeTag(0x3701, PropType::Binary);
constexpr PropTag PidTagAttachLongFilename = makeTag(0x3707, PropType::Unicode);
constexpr PropTag PidTagAttachFilename = makeTag(0x3704, PropType::Unicode);
constexpr PropTag PidTagAttachExtension = makeTag(0x3703, PropType::Unicode);
constexpr PropTag PidTagAttachMimeTag = makeTag(0x370E, PropType::Unicode);
constexpr PropTag PidTagAttachSize = makeTag(0x0E20, PropType::Int32);
constexpr PropTag PidTagRenderingPosition = makeTag(0x370B, PropType::Int32);
constexpr PropTag PidTagAttachContentId = makeTag(0x3712, PropType::Unicode);
constexpr PropTag PidTagAttachContentLocation = makeTag(0x3713, PropType::Unicode);
constexpr PropTag PidTagAttachFlags = makeTag(0x3714, PropType::Int32);
constexpr PropTag PidTagAttachmentHidden = makeTag(0x7FFE, PropType::Boolean);
constexpr PropTag PidTagAttachmentFlags = makeTag(0x7FFD, PropType::Int32);

// Values
constexpr int32_t kMessageFlagRead = 0x01;
constexpr int32_t kMessageFlagHasAttach = 0x10;
constexpr int32_t kRecipientTo = 1;
constexpr int32_t kRecipientCc = 2;
constexpr int32_t kRecipientBcc = 3;
constexpr int32_t kDisplayTypeMailUser = 0;   // DT_MAILUSER
constexpr int32_t kObjectTypeMailUser = 6;    // MAPI_MAILUSER
constexpr int32_t kRecipientSendable = 0x01;  // recipSendable
constexpr int32_t kAttachByValue = 1;
constexpr int32_t kAttachEmbeddedMessage = 5;
// What Outlook sets on a picture the HTML body shows (PidTagAttachFlags, PidTagAttachmentFlags).
constexpr int32_t kAttachRenderedInBody = 0x04;
constexpr int32_t kAttachmentFlagsInline = 0x08;

}  // namespace mail::tags
