// The store's name-to-id map: (property set, LID or name) -> property id 0x8000 and up, and
// the properties of the map's node that record it.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "pst/messaging/message_content.h"

namespace pst::messaging {

// Parses "00062008-0000-0000-c000-000000000046" into the stored byte order.
Guid parseGuid(const std::string& text);

class NamedPropertyMap {
 public:
  static constexpr uint32_t kBucketCount = 251;
  static constexpr uint16_t kFirstId = 0x8000;

  // Starts with the names a new Outlook store maps, so their ids match Outlook's.
  NamedPropertyMap();

  // The id of `key`, assigning the next free one on first use; pst::Error when all are used.
  uint16_t idOf(const NamedPropertyKey& key);
  size_t size() const { return entries_.size(); }

  // The map node's properties: bucket count, the three streams and the non-empty buckets.
  std::vector<Property> properties() const;

 private:
  struct KeyHash {
    size_t operator()(const NamedPropertyKey& k) const;
  };
  struct Entry {
    uint32_t propertyId;  // LID, or offset of the name in the string stream
    uint16_t guidField;   // (guid index << 1) | is-string
    uint32_t hash;        // LID, or CRC of the UTF-16LE name
  };

  uint16_t guidIndex(const Guid& guid);

  std::unordered_map<NamedPropertyKey, uint16_t, KeyHash> ids_;
  std::vector<Entry> entries_;
  std::vector<Guid> guids_;
  Bytes strings_;
};

}  // namespace pst::messaging
