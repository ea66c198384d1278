#include "pst/messaging/named_property_map.h"

#include <cstdio>

#include "pst/messaging/property_tags.h"
#include "pst/messaging/utf16.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/le.h"

namespace pst::messaging {

namespace {

const Guid kPsMapi = parseGuid("00020328-0000-0000-c000-000000000046");
const Guid kPsPublicStrings = parseGuid("00020329-0000-0000-c000-000000000046");

// What Outlook maps in every new store, in its order (ids 0x8000, 0x8001, ...).
struct Preset {
  const char* guid;
  uint32_t lid;
  const char* name;  // null for a LID
};
constexpr const char* kCommon = "00062008-0000-0000-c000-000000000046";
constexpr const char* kAddress = "00062002-0000-0000-c000-000000000046";
constexpr const char* kHeaders = "00020386-0000-0000-c000-000000000046";
constexpr const char* kPublic = "00020329-0000-0000-c000-000000000046";
constexpr const char* kTask = "00062003-0000-0000-c000-000000000046";
constexpr const char* kSharing = "00062014-0000-0000-c000-000000000046";
constexpr const char* kMentions = "41f28f13-83f4-4114-a584-eedb5a6b0bff";
const Preset kPresets[] = {
    {kAddress, 0x8205, nullptr}, {kAddress, 0x8223, nullptr}, {kAddress, 0x8231, nullptr},
    {kAddress, 0x8216, nullptr}, {kAddress, 0x820D, nullptr}, {kAddress, 0x820E, nullptr},
    {kAddress, 0x8235, nullptr}, {kAddress, 0x8236, nullptr}, {kAddress, 0x8233, nullptr},
    {kHeaders, 0, "content-class"}, {kPublic, 0, "DRMLicense"}, {kHeaders, 0, "x-cr-hashedpuzzle"},
    {kHeaders, 0, "x-cr-puzzleid"}, {kCommon, 0x8580, nullptr}, {kCommon, 0x8581, nullptr},
    {kPublic, 0, "urn:schemas-microsoft-com:office:outlook#storetypeprivate"}, {kCommon, 0x8510, nullptr},
    {kCommon, 0x8578, nullptr}, {kMentions, 0, "IsMentioned"}, {kPublic, 0, "Keywords"},
    {kSharing, 0x8F05, nullptr}, {kCommon, 0x8514, nullptr}, {kSharing, 0x8F07, nullptr},
    {kCommon, 0x8503, nullptr}, {kCommon, 0x85A8, nullptr}, {kCommon, 0x8502, nullptr},
    {kTask, 0x8104, nullptr}, {kTask, 0x8105, nullptr}, {kTask, 0x811C, nullptr},
    {kHeaders, 0, "x-ms-exchange-organization-authdomain"}, {kPublic, 0, "DoNotForward"},
    {kCommon, 0x8570, nullptr}, {kTask, 0x8101, nullptr}, {kCommon, 0x85E0, nullptr},
    {kCommon, 0x8552, nullptr},
};

}  // namespace

Guid parseGuid(const std::string& text) {
  unsigned d1, d2, d3, b[8];
  if (text.size() != 36 ||
      std::sscanf(text.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                  &b[4], &b[5], &b[6], &b[7]) != 11)
    throw Error("Internal error: malformed GUID text \"" + text + "\".");
  Guid g{};
  ndb::le::put<uint32_t>(g.data(), d1);
  ndb::le::put<uint16_t>(g.data() + 4, static_cast<uint16_t>(d2));
  ndb::le::put<uint16_t>(g.data() + 6, static_cast<uint16_t>(d3));
  for (int i = 0; i < 8; ++i) g[8 + i] = static_cast<uint8_t>(b[i]);
  return g;
}

size_t NamedPropertyMap::KeyHash::operator()(const NamedPropertyKey& k) const {
  size_t h = 1469598103934665603ull;
  for (uint8_t b : k.propertySet) h = (h ^ b) * 1099511628211ull;
  if (const auto* lid = std::get_if<uint32_t>(&k.id)) return h ^ std::hash<uint32_t>()(*lid);
  return h ^ (std::hash<std::string>()(std::get<std::string>(k.id)) << 1);
}

NamedPropertyMap::NamedPropertyMap() {
  for (const auto& p : kPresets) {
    NamedPropertyKey key{parseGuid(p.guid), {}};
    if (p.name) {
      key.id = std::string(p.name);
    } else {
      key.id = p.lid;
    }
    idOf(key);
  }
}

uint16_t NamedPropertyMap::guidIndex(const Guid& guid) {
  if (guid == kPsMapi) return 1;
  if (guid == kPsPublicStrings) return 2;
  for (size_t i = 0; i < guids_.size(); ++i)
    if (guids_[i] == guid) return static_cast<uint16_t>(i + 3);
  guids_.push_back(guid);
  return static_cast<uint16_t>(guids_.size() + 2);
}

uint16_t NamedPropertyMap::idOf(const NamedPropertyKey& key) {
  if (auto it = ids_.find(key); it != ids_.end()) return it->second;
  if (entries_.size() >= 0x7FFF)
    throw Error("The message store has run out of named property ids (32,767 used); split the import into "
                "several files.");
  Entry e{};
  const uint16_t g = guidIndex(key.propertySet);
  if (const auto* lid = std::get_if<uint32_t>(&key.id)) {
    e.propertyId = *lid;
    e.guidField = static_cast<uint16_t>(g << 1);
    e.hash = *lid;
  } else {
    const Bytes name = toUtf16(std::get<std::string>(key.id));
    e.propertyId = static_cast<uint32_t>(strings_.size());
    e.guidField = static_cast<uint16_t>((g << 1) | 1);
    e.hash = ndb::crc32(name);
    uint8_t len[4];
    ndb::le::put<uint32_t>(len, static_cast<uint32_t>(name.size()));
    strings_.insert(strings_.end(), len, len + 4);
    strings_.insert(strings_.end(), name.begin(), name.end());
    strings_.resize((strings_.size() + 3) & ~size_t{3}, 0);
  }
  const auto id = static_cast<uint16_t>(kFirstId + entries_.size());
  entries_.push_back(e);
  ids_.emplace(key, id);
  return id;
}

std::vector<Property> NamedPropertyMap::properties() const {
  std::vector<Property> props;
  props.push_back({tags::kNameidBucketCount, static_cast<int32_t>(kBucketCount)});
  Bytes guidStream;
  for (const auto& g : guids_) guidStream.insert(guidStream.end(), g.begin(), g.end());
  std::vector<Bytes> buckets(kBucketCount);
  Bytes entryStream;
  auto putEntry = [](Bytes& out, uint32_t first, uint16_t guidField, uint16_t index) {
    uint8_t r[8];
    ndb::le::put<uint32_t>(r, first);
    ndb::le::put<uint16_t>(r + 4, guidField);
    ndb::le::put<uint16_t>(r + 6, index);
    out.insert(out.end(), r, r + 8);
  };
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    const auto index = static_cast<uint16_t>(i);
    putEntry(entryStream, e.propertyId, e.guidField, index);
    putEntry(buckets[(e.hash ^ e.guidField) % kBucketCount], e.hash, e.guidField, index);
  }
  props.push_back({tags::kNameidStreamGuid, std::move(guidStream)});
  props.push_back({tags::kNameidStreamEntry, std::move(entryStream)});
  props.push_back({tags::kNameidStreamString, strings_});
  for (uint32_t b = 0; b < kBucketCount; ++b)
    if (!buckets[b].empty())
      props.push_back({makeTag(static_cast<uint16_t>(tags::kNameidBucketBase + b), PropType::Binary),
                       std::move(buckets[b])});
  return props;
}

}  // namespace pst::messaging
