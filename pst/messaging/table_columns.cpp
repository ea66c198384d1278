#include "pst/messaging/table_columns.h"

// Columns in the order Outlook adds them, which fixes their place in a row; LtpRowId and LtpRowVer
// come first.

namespace pst::messaging::columns {

namespace {

std::vector<PropTag> withRowKeys(std::initializer_list<PropTag> tags) {
  std::vector<PropTag> c = {0x67F20003, 0x67F30003};
  c.insert(c.end(), tags);
  return c;
}

}  // namespace

std::vector<PropTag> hierarchyTemplate() {
  return withRowKeys({0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x0E300102, 0x0E330014, 0x0E340102,
                     0x0E380003, 0x3613001F, 0x66350003, 0x66360003});
}

std::vector<PropTag> ipmSubtreeHierarchy() {
  return withRowKeys({0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x0E300102, 0x0E330014, 0x0E340102,
                     0x0E380003, 0x3613001F, 0x66350003, 0x66360003, 0x30200102, 0x66700102, 0x10F4000B,
                     0x36DA0102, 0x36DE0003, 0x672D0003, 0x68530003, 0x67310003, 0x67300014, 0x6732001F,
                     0x6733001F, 0x30210102});
}

std::vector<PropTag> searchRootHierarchy() {
  return withRowKeys({0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x0E300102, 0x0E330014, 0x0E340102,
                     0x0E380003, 0x3613001F, 0x66350003, 0x66360003, 0x30200102, 0x66700102, 0x36DA0102,
                     0x30070040, 0x672D0003, 0x68530003, 0x67310003, 0x67300014, 0x6732001F, 0x6733001F});
}

std::vector<PropTag> contentsTemplate() {
  return withRowKeys({0x0E170003, 0x001A001F, 0x0E070003, 0x00170003, 0x0042001F, 0x0037001F, 0x0E060040,
                     0x00390040, 0x0E080003, 0x0E04001F, 0x0E03001F, 0x0057000B, 0x0058000B, 0x00360003,
                     0x10970003, 0x0070001F, 0x00710102, 0x30130102, 0x65C60003, 0x30080040, 0x0E300102,
                     0x0E330014, 0x0E340102, 0x0E3D0102, 0x0E3C0102, 0x0E380003});
}

std::vector<PropTag> ipmSubtreeContents() {
  return withRowKeys({0x0E170003, 0x001A001F, 0x0E070003, 0x00170003, 0x0042001F, 0x0037001F, 0x0E060040,
                     0x00390040, 0x0E080003, 0x0E04001F, 0x0E03001F, 0x0057000B, 0x0058000B, 0x00360003,
                     0x10970003, 0x0070001F, 0x00710102, 0x30130102, 0x65C60003, 0x30080040, 0x0E300102,
                     0x0E330014, 0x0E340102, 0x0E3D0102, 0x0E3C0102, 0x0E380003, 0x10800003, 0x80100003,
                     0x80110003, 0x36020003, 0x10950003, 0x10900003, 0x8012000B, 0x8013101F, 0x80140003,
                     0x8015000B, 0x8016000B, 0x8017000B, 0x300B0102, 0x1035001F, 0x80180102, 0x80190040,
                     0x801A0040, 0x801B0040, 0x801C000B, 0x0E2B0003, 0x6E010003, 0x0EA20003, 0x801D001F,
                     0x801E000B, 0x801F0003, 0x80200003, 0x80210003, 0x00300040, 0x00150040, 0x80220003,
                     0x6619001F});
}

std::vector<PropTag> assocContentsTemplate() {
  return withRowKeys({0x0E170003, 0x001A001F, 0x0E070003, 0x3001001F, 0x70030003, 0x70040102, 0x70050102,
                     0x7006001F, 0x70070003, 0x6800001F, 0x6803000B, 0x68051003, 0x682F001F});
}

std::vector<PropTag> rootAssocContents() {
  return withRowKeys({0x0E170003, 0x001A001F, 0x0E070003, 0x3001001F, 0x70030003, 0x70040102, 0x70050102,
                     0x7006001F, 0x70070003, 0x6800001F, 0x6803000B, 0x68051003, 0x682F001F, 0x30080040,
                     0x7C060003, 0x685D0003});
}

std::vector<PropTag> commonViewsAssocContents() {
  return withRowKeys({0x0E170003, 0x001A001F, 0x0E070003, 0x3001001F, 0x70030003, 0x70040102, 0x70050102,
                     0x7006001F, 0x70070003, 0x6800001F, 0x6803000B, 0x68051003, 0x682F001F, 0x30080040,
                     0x68340003, 0x683A0003, 0x68410003, 0x68460003, 0x68420102, 0x68430102, 0x68470003,
                     0x68480003, 0x68530003});
}

std::vector<PropTag> searchContentsTemplate() {
  return withRowKeys({0x67F10003, 0x0E05001F, 0x0E170003, 0x001A001F, 0x0E070003, 0x00170003, 0x0042001F,
                     0x0037001F, 0x0E060040, 0x0E080003, 0x0E04001F, 0x0E03001F, 0x0057000B, 0x0058000B,
                     0x00360003, 0x0E2A000B, 0x30080040});
}

std::vector<PropTag> recipientTemplate() {
  return withRowKeys({0x0E0F000B, 0x3002001F, 0x3003001F, 0x0FFF0102, 0x3001001F, 0x0C150003, 0x300B0102,
                     0x0FF90102, 0x0FFE0003, 0x39000003, 0x3A40000B, 0x39FF001F});
}

std::vector<PropTag> attachmentTemplate() {
  return withRowKeys({0x370B0003, 0x0E200003, 0x37050003, 0x3704001F});
}

// Outlook 2013 writes these in a message with attachments (the order of its bits is not known).
std::vector<PropTag> messageAttachments() {
  return withRowKeys({0x0E200003, 0x3001001F, 0x3703001F, 0x3704001F, 0x37050003, 0x3707001F, 0x3708001F,
                     0x370A0102, 0x370B0003, 0x370D001F, 0x370E001F, 0x370F0102, 0x3711001F, 0x3712001F,
                     0x3713001F, 0x37140003, 0x3719001F, 0x371A001F, 0x69090003, 0x7FF90040, 0x7FFA0003,
                     0x7FFB0040, 0x7FFC0040, 0x7FFD0003, 0x7FFE000B, 0x7FFF000B});
}

std::vector<PropTag> receiveFolderTable() {
  return withRowKeys({0x66050003, 0x001A001F});
}

std::vector<PropTag> outgoingQueueTable() {
  return withRowKeys({0x0E140003, 0x0E100003, 0x00390040});
}

std::vector<PropTag> replicationTable16() {
  return withRowKeys({0x0E330014, 0x0E370102, 0x0E380003});
}

std::vector<PropTag> replicationTable17() {
  return withRowKeys({0x0E3E0102, 0x0E310102, 0x0E300102, 0x0E380003, 0x0E340102, 0x0E330014, 0x001A001F});
}

std::vector<PropTag> replicationTable18() {
  return withRowKeys({0x30070040, 0x0E330014});
}

}  // namespace pst::messaging::columns
