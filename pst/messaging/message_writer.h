// Writes one message node: its property context, recipient table, attachment table and
// attachments (embedded messages recursively), with PidTagMessageSize equal to the bytes stored.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "pst/messaging/message_content.h"
#include "pst/messaging/named_property_map.h"
#include "pst/ltp/subnode_builder.h"
#include "pst/messaging/pc_size_meter.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

struct WrittenMessage {
  Bid data = 0;
  Bid subnodes = 0;
  uint32_t size = 0;          // the stored size: node data plus all subnode data
  int32_t flags = 0;          // PidTagMessageFlags as written
  std::vector<Property> row;  // the values of the requested row columns
};

class MessageWriter {
 public:
  MessageWriter(ndb::NdbWriter& writer, NamedPropertyMap& names);

  // `rowColumns` sorted ascending.
  WrittenMessage write(const MessageContent& message, const std::vector<PropTag>& rowColumns);

 private:
  WrittenMessage writeAt(const MessageContent& message, const std::vector<PropTag>& rowColumns, int depth);
  void writeRecipients(const MessageContent& message, ltp::SubnodeBuilder& subnodes);
  void writeAttachments(const MessageContent& message, ltp::SubnodeBuilder& subnodes, int depth);

  ndb::NdbWriter& writer_;
  NamedPropertyMap& names_;
  std::mt19937_64 random_;
};

}  // namespace pst::messaging
