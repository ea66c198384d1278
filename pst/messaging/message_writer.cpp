#include "pst/messaging/message_writer.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <unordered_set>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/borrowed_properties.h"
#include "pst/messaging/content_check.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/table_columns.h"

namespace pst::messaging {

namespace {

constexpr Nid kAttachmentTableNid = 0x671;
constexpr Nid kRecipientTableNid = 0x692;
// Attachments are numbered as Outlook numbers them: 0x8025, 0x8045, ...
constexpr uint32_t kFirstAttachmentIndex = 0x401;

uint64_t nowFiletime() {
  using namespace std::chrono;
  constexpr uint64_t kEpochDelta = 116444736000000000ull;  // 1601-01-01 to 1970-01-01 in 100 ns
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return kEpochDelta + static_cast<uint64_t>(since1970 / 100);
}

int32_t intOf(const Property* p, int32_t fallback) {
  if (!p) return fallback;
  if (const auto* v = std::get_if<int32_t>(&p->value)) return *v;
  return fallback;
}

uint64_t valueSize(const PropValue& v) {
  if (const auto* b = std::get_if<Bytes>(&v)) return b->size();
  if (const auto* s = std::get_if<std::string>(&v)) return s->size();
  return 0;
}

void writeTable(ndb::NdbWriter& writer, const ltp::TableContextBuilder& table, Nid nid,
                ltp::SubnodeBuilder& owner) {
  ltp::SubnodeBuilder inner;
  const Bid data = table.write(writer, inner);
  owner.add(nid, data, inner.write(writer));
}

std::vector<Property> cellsFor(const std::vector<Property>& props, const std::vector<PropTag>& sortedColumns) {
  std::vector<Property> cells;
  for (const auto& p : props)
    if (std::binary_search(sortedColumns.begin(), sortedColumns.end(), p.tag)) cells.push_back(p);
  return cells;
}

}  // namespace

MessageWriter::MessageWriter(ndb::NdbWriter& writer, NamedPropertyMap& names)
    : writer_(writer), names_(names), random_(std::random_device{}()) {}

WrittenMessage MessageWriter::write(const MessageContent& message, const std::vector<PropTag>& rowColumns) {
  checkContent(message);
  return writeAt(message, rowColumns, 0);
}

void MessageWriter::writeRecipients(const MessageContent& message, ltp::SubnodeBuilder& subnodes) {
  // Recipients live only in this table, so every property given becomes a column, after
  // Outlook's own in their order.
  std::vector<PropTag> columns = columns::recipientTemplate();
  // One column per property id: a second type of the same id would make two columns of one name.
  std::unordered_set<uint16_t> known;
  for (PropTag t : columns) known.insert(tagId(t));
  for (const auto& row : message.recipients)
    for (const auto& p : row)
      if (known.insert(tagId(p.tag)).second) columns.push_back(p.tag);
  ltp::TableContextBuilder table(std::move(columns));
  uint32_t rowId = 0;
  for (const auto& row : message.recipients) {
    std::vector<Property> cells;
    cells.reserve(row.size() + 2);
    std::set<uint16_t> seen;
    for (const auto& p : row)
      if (tagId(p.tag) != tagId(tags::kLtpRowId) && tagId(p.tag) != tagId(tags::kLtpRowVer) &&
          seen.insert(tagId(p.tag)).second)
        cells.push_back(p);
    cells.push_back({tags::kLtpRowId, static_cast<int32_t>(rowId)});
    cells.push_back({tags::kLtpRowVer, static_cast<int32_t>(writer_.nextUnique())});
    table.addRow(rowId++, cells);
  }
  writeTable(writer_, table, kRecipientTableNid, subnodes);
}

void MessageWriter::writeAttachments(const MessageContent& message, ltp::SubnodeBuilder& subnodes, int depth) {
  if (message.attachments.empty()) return;
  ltp::TableContextBuilder table(columns::messageAttachments());
  auto rowColumns = columns::messageAttachments();
  std::sort(rowColumns.begin(), rowColumns.end());
  uint32_t index = kFirstAttachmentIndex;
  for (const auto& attachment : message.attachments) {
    const Nid nid = makeNid(NidType::Attachment, index++);
    ltp::SubnodeBuilder inner;
    BorrowedProperties props;
    uint64_t contentSize = 0;
    if (attachment.embedded) {
      WrittenMessage embedded = writeAt(*attachment.embedded, {}, depth + 1);
      const Nid embeddedNid = writer_.allocateNid(NidType::NormalMessage);
      inner.add(embeddedNid, embedded.data, embedded.subnodes);
      props.add({tags::kAttachDataObject, ObjectRef{embeddedNid, embedded.size}});
      props.add({tags::kAttachMethod, tags::kAttachEmbeddedMessage});
      contentSize = embedded.size;
    }
    for (const auto& p : attachment.props) {
      if (attachment.embedded && tagId(p.tag) == tagId(tags::kAttachDataBinary)) continue;
      if (tagId(p.tag) == tagId(tags::kAttachDataBinary)) contentSize = valueSize(p.value);
      props.add(p);
    }
    if (!props.has(tagId(tags::kAttachMethod))) props.add({tags::kAttachMethod, tags::kAttachByValue});
    if (!props.has(tagId(tags::kAttachSize)))
      props.add({tags::kAttachSize, static_cast<int32_t>(std::min<uint64_t>(contentSize, INT32_MAX))});
    if (!props.has(tagId(tags::kRenderingPosition))) props.add({tags::kRenderingPosition, int32_t{-1}});

    const Bid data = ltp::writePropertyContext(writer_, props.list(), inner);
    subnodes.add(nid, data, inner.write(writer_));

    std::vector<Property> cells = cellsFor(props.list(), rowColumns);
    std::erase_if(cells, [](const Property& p) { return p.tag == tags::kLtpRowId || p.tag == tags::kLtpRowVer; });
    cells.push_back({tags::kLtpRowId, static_cast<int32_t>(nid)});
    cells.push_back({tags::kLtpRowVer, static_cast<int32_t>(writer_.nextUnique())});
    table.addRow(nid, cells);
  }
  writeTable(writer_, table, kAttachmentTableNid, subnodes);
}

WrittenMessage MessageWriter::writeAt(const MessageContent& message, const std::vector<PropTag>& rowColumns,
                                      int depth) {
  const uint64_t before = writer_.dataBytesWritten();
  ltp::SubnodeBuilder subnodes;
  writeRecipients(message, subnodes);
  writeAttachments(message, subnodes, depth);

  BorrowedProperties props;
  // Computed values that must describe what is really stored come first and win.
  const Property* givenFlags = nullptr;
  for (const auto& p : message.props)
    if (tagId(p.tag) == tagId(tags::kMessageFlags)) givenFlags = &p;
  int32_t flags = intOf(givenFlags, tags::kMsgFlagRead);
  flags = message.attachments.empty() ? (flags & ~tags::kMsgFlagHasAttach) : (flags | tags::kMsgFlagHasAttach);
  props.add({tags::kMessageFlags, flags});
  props.add({tags::kMessageSize, int32_t{0}});
  for (const auto& p : message.props) props.add(p);
  for (const auto& n : message.named) {
    const uint16_t id = names_.idOf(n.key);
    props.add({makeTag(id, n.type), n.value});
  }
  if (!props.has(tagId(tags::kMessageClass))) props.add({tags::kMessageClass, std::string("IPM.Note")});
  if (!props.has(tagId(tags::kMessageStatus))) props.add({tags::kMessageStatus, int32_t{0}});
  const uint64_t now = nowFiletime();
  if (!props.has(tagId(tags::kCreationTime))) props.add({tags::kCreationTime, now});
  if (!props.has(tagId(tags::kLastModificationTime))) props.add({tags::kLastModificationTime, now});
  if (!props.has(tagId(tags::kSearchKey))) {
    Bytes key(16);
    for (size_t i = 0; i < 16; i += 8) {
      const uint64_t r = random_();
      for (size_t k = 0; k < 8; ++k) key[i + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    props.add({tags::kSearchKey, std::move(key)});
  }

  const uint64_t stored = writer_.dataBytesWritten() - before + storedPropertyContextSize(props.list());
  if (stored > INT32_MAX) throw Error("A message of " + std::to_string(stored) + " bytes is too large to store.");
  props.set({tags::kMessageSize, static_cast<int32_t>(stored)});

  WrittenMessage out;
  out.data = ltp::writePropertyContext(writer_, props.list(), subnodes);
  out.subnodes = subnodes.write(writer_);
  out.size = static_cast<uint32_t>(stored);
  out.flags = flags;
  if (!rowColumns.empty()) out.row = cellsFor(props.list(), rowColumns);
  return out;
}

}  // namespace pst::messaging
