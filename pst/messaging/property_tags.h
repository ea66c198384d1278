// The MAPI property tags the store writes or reads itself.
#pragma once

#include "pst/ltp/property.h"

namespace pst::messaging::tags {

constexpr PropTag kMessageClass = 0x001A001F;
constexpr PropTag kMessageFlags = 0x0E070003;
constexpr PropTag kMessageSize = 0x0E080003;
constexpr PropTag kMessageStatus = 0x0E170003;
constexpr PropTag kAttachSize = 0x0E200003;
constexpr PropTag kRecordKey = 0x0FF90102;
constexpr PropTag kDisplayName = 0x3001001F;
constexpr PropTag kComment = 0x3004001F;
constexpr PropTag kCreationTime = 0x30070040;
constexpr PropTag kLastModificationTime = 0x30080040;
constexpr PropTag kSearchKey = 0x300B0102;
constexpr PropTag kContentCount = 0x36020003;
constexpr PropTag kContentUnreadCount = 0x36030003;
constexpr PropTag kSubfolders = 0x360A000B;
constexpr PropTag kContainerClass = 0x3613001F;
constexpr PropTag kAttachDataBinary = 0x37010102;
constexpr PropTag kAttachDataObject = 0x3701000D;
constexpr PropTag kAttachMethod = 0x37050003;
constexpr PropTag kRenderingPosition = 0x370B0003;
constexpr PropTag kPstHiddenCount = 0x66350003;
constexpr PropTag kPstHiddenUnread = 0x66360003;
constexpr PropTag kLtpRowId = 0x67F20003;
constexpr PropTag kLtpRowVer = 0x67F30003;
constexpr PropTag kPstPassword = 0x67FF0003;
constexpr PropTag kNameidBucketCount = 0x00010003;
constexpr PropTag kNameidStreamGuid = 0x00020102;
constexpr PropTag kNameidStreamEntry = 0x00030102;
constexpr PropTag kNameidStreamString = 0x00040102;
constexpr uint16_t kNameidBucketBase = 0x1000;

// PidTagMessageFlags bits.
constexpr int32_t kMsgFlagRead = 0x01;
constexpr int32_t kMsgFlagHasAttach = 0x10;

// PidTagAttachMethod values.
constexpr int32_t kAttachByValue = 1;
constexpr int32_t kAttachEmbeddedMessage = 5;

}  // namespace pst::messaging::tags
