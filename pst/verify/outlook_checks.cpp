#include "pst/verify/outlook_checks.h"

#include <algorithm>

#include "pst/ltp/property_context.h"
#include "pst/ltp/value_codec.h"
#include "pst/verify/hex.h"

namespace pst::verify {
namespace {

constexpr Nid kReceiveFolderTable = 0x62B;
constexpr Nid kRecipientTable = 0x692;
constexpr uint32_t kNegativeRowIdIndex = 1u << 26;  // NID 0x80000000 and above

const Property* find(const std::vector<Property>& props, PropTag tag) {
  for (const auto& p : props)
    if (p.tag == tag) return &p;
  return nullptr;
}

bool hasId(const std::vector<Property>& props, uint16_t id) {
  return std::any_of(props.begin(), props.end(), [&](const Property& p) { return tagId(p.tag) == id; });
}

int32_t intOf(const std::vector<Property>& props, PropTag tag, int32_t fallback) {
  const Property* p = find(props, tag);
  const auto* v = p ? std::get_if<int32_t>(&p->value) : nullptr;
  return v ? *v : fallback;
}

bool emptyText(const std::vector<Property>& props, PropTag tag) {
  const Property* p = find(props, tag);
  const auto* s = p ? std::get_if<std::string>(&p->value) : nullptr;
  return s && s->empty();
}

}  // namespace

void OutlookChecks::id(const ObjectPlace& place) {
  const size_t type = place.nid & 0x1F;
  if (nidIndex(place.nid) > rgnid_[type])
    findings_.error(place.where, "id " + hex(place.nid) + " lies above its type's counter rgnid[" + hex(type) + "] = " +
                                     hex(rgnid_[type]) + ": Outlook could hand it out again");
  if (place.depth == 0 && nidIndex(place.nid) >= kNegativeRowIdIndex)
    findings_.error(place.where, "node id " + hex(place.nid) +
                                     " is 0x80000000 or above: as a table row id (signed 32 bits) it is negative");
}

void OutlookChecks::propertyContext(const ObjectPlace& place, const std::vector<Property>& props,
                                    const ltp::PcPlacement& placement) {
  if (placement.heapBlocks > 1)
    warn(place, "property context heap spans " + std::to_string(placement.heapBlocks) + " blocks; Outlook's is one");
  if (placement.largestHeapValue > ltp::kMaxPcHeapValue)
    warn(place, "value " + ltp::tagText(placement.largestHeapTag) + " of " + std::to_string(placement.largestHeapValue) +
                    " bytes is in the heap; Outlook moves values over about 1 KB to subnodes");
  const NidType type = nidType(place.nid);
  if (type == NidType::NormalMessage) message(place, props);
  if (type == NidType::Attachment) attachment(place, props);
}

void OutlookChecks::message(const ObjectPlace& place, const std::vector<Property>& props) {
  const bool stored = place.depth == 0;  // in a folder, not attached to another message
  if (!hasId(props, 0x3FF1)) warn(place, "message has no MessageLocaleId (0x3FF1), which Outlook always writes");
  if (!hasId(props, 0x1080)) warn(place, "message has no IconIndex (0x1080), which Outlook always writes");
  const int32_t flags = intOf(props, 0x0E070003, 0);
  if (!(flags & 0x08) && (!hasId(props, 0x0057) || !hasId(props, 0x0058)))
    warn(place, "received message lacks MessageToMe (0x0057) or MessageCcMe (0x0058), which Outlook writes");
  if (stored && hasId(props, 0x0E17))
    warn(place, "message holds MessageStatus (0x0E17); Outlook keeps it in the contents row only");
  for (const auto& [tag, name] : {std::pair{PropTag{0x003D001F}, "SubjectPrefix"}, {PropTag{0x0E03001F}, "DisplayCc"},
                                  {PropTag{0x0E02001F}, "DisplayBcc"}})
    if (emptyText(props, tag)) warn(place, std::string("message has an empty ") + name + ", which Outlook leaves out");
  if (hasId(props, 0x0E1D)) warn(place, "message has NormalizedSubject (0x0E1D), which Outlook does not write");
  if (hasId(props, 0x1016)) warn(place, "message has NativeBody (0x1016), which Outlook does not write");
}

void OutlookChecks::attachment(const ObjectPlace& place, const std::vector<Property>& props) {
  // PidTagAttachSize: the bytes of all the object's values, an embedded message by its own size.
  uint64_t size = 0;
  for (const auto& p : props) {
    const auto* object = std::get_if<ObjectRef>(&p.value);
    size += object ? object->size : ltp::encodedSize(p.tag, p.value);
  }
  if (const Property* given = find(props, 0x0E200003); given && static_cast<uint64_t>(intOf(props, 0x0E200003, 0)) != size)
    warn(place, "AttachSize is " + std::to_string(intOf(props, 0x0E200003, 0)) + "; Outlook stores the object's size, " +
                    std::to_string(size));
  const bool byValue = intOf(props, 0x37050003, 1) == 1;
  if (const Property* name = find(props, 0x3704001F); name && byValue) {
    const auto* s = std::get_if<std::string>(&name->value);
    if (s && std::any_of(s->begin(), s->end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
      warn(place, "AttachFilename \"" + *s + "\" has upper-case letters; Outlook writes lower-case short names");
  }
  if (!hasId(props, 0x3702)) warn(place, "attachment has no AttachEncoding (0x3702); Outlook writes an empty one");
  // A picture the HTML shows: hidden, with a content id.
  if (intOf(props, 0x7FFE000B, 0) != 0 && hasId(props, 0x3712) &&
      (!(intOf(props, 0x37140003, 0) & 0x04) || !(intOf(props, 0x7FFD0003, 0) & 0x08)))
    warn(place, "inline picture lacks AttachFlags 4 (rendered in the body) or AttachmentFlags 8, which Outlook sets");
}

void OutlookChecks::table(const ObjectPlace& place, const ltp::TableReader& table) {
  for (size_t column : table.cellsWithHnidZero()) {
    const PropTag tag = table.layout().columns[column].tag;
    // Outlook's own receive folder table keeps the default's empty message class so.
    if (place.nid == kReceiveFolderTable && place.depth == 0 && tagId(tag) == 0x001A) continue;
    findings_.error(place.where, "cell " + ltp::tagText(tag) +
                                     " is present with HNID 0, which names no heap item; Outlook leaves empty values out");
  }
  if (place.nid == kRecipientTable && place.depth > 0) {
    const auto& columns = table.layout().columns;
    if (std::any_of(columns.begin(), columns.end(), [](const ltp::TcColumn& c) { return tagId(c.tag) == 0x3000; }))
      warn(place, "recipient table has a PR_ROWID (0x3000) column, which no Outlook recipient table has");
  }
}

void OutlookChecks::tableRow(const ObjectPlace& place, const ltp::TableReader& table, uint32_t rowId,
                             const ltp::TableReader::Cells& cells) {
  const auto& columns = table.layout().columns;
  auto present = [&](uint16_t id) {
    for (size_t c = 0; c < columns.size(); ++c)
      if (tagId(columns[c].tag) == id && cells[c]) return true;
    return false;
  };
  if (lastRowWarning_ == place.where) return;
  const size_t before = findings_.items.size();
  if (place.nid == kRecipientTable && place.depth > 0) {
    if (rowId == 0) warn(place, "recipient row id 0; Outlook's are never 0");
    // (SendInternetEncoding, 0x3A71, is in Outlook 2013's rows but not in Outlook 2010's.)
    for (const auto& [id, name] : {std::pair{uint16_t{0x5FDF}, "RecipientOrder"}, {uint16_t{0x5FFF}, "RecipientTrackStatus"},
                                   {uint16_t{0x5FDE}, "0x5FDE"}})
      if (!present(id)) warn(place, "recipient row " + hex(rowId) + " lacks " + name + ", which Outlook writes");
  }
  if (nidType(place.nid) == NidType::ContentsTable && place.depth == 0 &&
      nidType(rowId) == NidType::NormalMessage && !present(0x0071))
    warn(place, "contents row of message " + hex(rowId) + " lacks ConversationIndex (0x0071), which Outlook writes");
  if (findings_.items.size() != before) lastRowWarning_ = place.where;
}

}  // namespace pst::verify
