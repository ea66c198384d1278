// A mail message as the importer produces it and the store writes it: properties,
// recipient rows and attachments. Plain data, no file access.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging {

// A named property: (property set, LID or name). The store maps it to a property id >= 0x8000.
struct NamedPropertyKey {
  Guid propertySet{};
  std::variant<uint32_t, std::string> id;  // LID, or UTF-8 name
  bool operator==(const NamedPropertyKey&) const = default;
};

struct NamedProperty {
  NamedPropertyKey key;
  PropType type = PropType::Int32;
  PropValue value;
};

struct MessageContent;

struct AttachmentContent {
  // AttachMethod, names, MIME tag, content id, flags... AttachDataBinary (0x37010102) holds
  // by-value data. AttachSize and RenderingPosition are filled in by the store when missing.
  std::vector<Property> props;
  std::unique_ptr<MessageContent> embedded;  // set for AttachMethod 5 (embedded message)
};

struct MessageContent {
  std::vector<Property> props;        // MessageClass, subject, bodies, dates, flags...
  std::vector<NamedProperty> named;   // mapped to ids by the store at save time
  std::vector<std::vector<Property>> recipients;  // one row per recipient
  std::vector<AttachmentContent> attachments;
};

}  // namespace pst::messaging
