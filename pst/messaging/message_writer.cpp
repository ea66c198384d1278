#include "pst/messaging/message_writer.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <unordered_set>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/value_codec.h"
#include "pst/messaging/borrowed_properties.h"
#include "pst/messaging/content_check.h"
#include "pst/messaging/message_limits.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/table_columns.h"

namespace pst::messaging {

namespace {

constexpr Nid kAttachmentTableNid = 0x671;
constexpr Nid kRecipientTableNid = 0x692;
// Attachments are numbered as Outlook numbers them: 0x8025, 0x8045, ...
constexpr uint32_t kFirstAttachmentIndex = 0x401;
// Outlook's recipient rows: ids 0x10, 0x13, 0x16, ... (never 0), and four columns of its own.
constexpr uint32_t kFirstRecipientRowId = 0x10;
constexpr uint32_t kRecipientRowIdStep = 3;
constexpr PropTag kRowid = 0x30000003;  // PR_ROWID: not a column in Outlook's recipient tables
constexpr PropTag kSendInternetEncoding = 0x3A710003;
constexpr PropTag kRecipientUnknown5FDE = 0x5FDE0003;
constexpr PropTag kRecipientOrder = 0x5FDF0003;
constexpr PropTag kRecipientTrackStatus = 0x5FFF0003;
constexpr PropTag kAttachEncoding = 0x37020102;
constexpr PropTag kIconIndex = 0x10800003;
constexpr PropTag kMessageLocaleId = 0x3FF10003;
constexpr int32_t kLocaleEnUs = 1033;  // the locale of Outlook's received mail in the reference files

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

// PidTagAttachSize as Outlook computes it: the bytes of every value of the attachment object
// (AttachSize itself included), an embedded message counting with its own message size.
uint64_t attachmentObjectSize(const std::vector<Property>& props) {
  uint64_t size = 0;
  for (const auto& p : props) {
    if (const auto* object = std::get_if<ObjectRef>(&p.value)) {
      size += object->size;
    } else {
      size += ltp::encodedSize(p.tag, p.value);
    }
  }
  return size;
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
  checkMessageFits(message);
  return writeAt(message, rowColumns, 0);
}

void MessageWriter::writeRecipients(const MessageContent& message, ltp::SubnodeBuilder& subnodes) {
  // Recipients live only in this table, so every property given becomes a column, after
  // Outlook's own in their order.
  std::vector<PropTag> columns = columns::recipientTemplate();
  const std::vector<PropTag> outlookOwn = {kSendInternetEncoding, kRecipientUnknown5FDE, kRecipientOrder,
                                           kRecipientTrackStatus};
  columns.insert(columns.end(), outlookOwn.begin(), outlookOwn.end());
  // One column per property id: a second type of the same id would make two columns of one name.
  std::unordered_set<uint16_t> known = {tagId(kRowid)};
  for (PropTag t : columns) known.insert(tagId(t));
  for (const auto& row : message.recipients)
    for (const auto& p : row)
      if (known.insert(tagId(p.tag)).second) columns.push_back(p.tag);
  ltp::TableContextBuilder table(std::move(columns));
  uint32_t order = 0;
  for (const auto& row : message.recipients) {
    std::vector<Property> cells;
    cells.reserve(row.size() + 6);
    std::set<uint16_t> seen = {tagId(kRowid), tagId(tags::kLtpRowId), tagId(tags::kLtpRowVer)};
    for (const auto& p : row)
      if (seen.insert(tagId(p.tag)).second) cells.push_back(p);
    for (PropTag t : outlookOwn)
      if (seen.insert(tagId(t)).second) cells.push_back({t, static_cast<int32_t>(t == kRecipientOrder ? order : 0)});
    const uint32_t rowId = kFirstRecipientRowId + kRecipientRowIdStep * order++;
    cells.push_back({tags::kLtpRowId, static_cast<int32_t>(rowId)});
    cells.push_back({tags::kLtpRowVer, static_cast<int32_t>(writer_.nextUnique())});
    table.addRow(rowId, cells);
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
    if (attachment.embedded) {
      WrittenMessage embedded = writeAt(*attachment.embedded, {}, depth + 1);
      const Nid embeddedNid = writer_.allocateNid(NidType::NormalMessage);
      inner.add(embeddedNid, embedded.data, embedded.subnodes);
      props.add({tags::kAttachDataObject, ObjectRef{embeddedNid, embedded.size}});
      props.add({tags::kAttachMethod, tags::kAttachEmbeddedMessage});
    }
    for (const auto& p : attachment.props) {
      if (attachment.embedded && tagId(p.tag) == tagId(tags::kAttachDataBinary)) continue;
      props.add(p);
    }
    if (!props.has(tagId(tags::kAttachMethod))) props.add({tags::kAttachMethod, tags::kAttachByValue});
    if (!props.has(tagId(tags::kRenderingPosition))) props.add({tags::kRenderingPosition, int32_t{-1}});
    // Outlook writes an empty encoding on every attachment.
    if (!props.has(tagId(kAttachEncoding))) props.add({kAttachEncoding, Bytes{}});
    if (!props.has(tagId(tags::kAttachSize))) {
      props.add({tags::kAttachSize, int32_t{0}});
      const uint64_t size = attachmentObjectSize(props.list());
      if (size > kMaxMessageBytes) throw Error(tooLargeReason(size, message));
      props.set({tags::kAttachSize, static_cast<int32_t>(size)});
    }

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
  // Outlook keeps a stored message's status in its contents row only; an attached message,
  // which has no row, keeps it in itself.
  Property status{tags::kMessageStatus, int32_t{0}};
  for (const auto& p : message.props) {
    if (depth == 0 && tagId(p.tag) == tagId(tags::kMessageStatus)) {
      status = p;
      continue;
    }
    props.add(p);
  }
  for (const auto& n : message.named) {
    const uint16_t id = names_.idOf(n.key);
    props.add({makeTag(id, n.type), n.value});
  }
  if (!props.has(tagId(tags::kMessageClass))) props.add({tags::kMessageClass, std::string("IPM.Note")});
  if (depth > 0) props.add(status);
  if (!props.has(tagId(kIconIndex))) props.add({kIconIndex, int32_t{-1}});
  if (!props.has(tagId(kMessageLocaleId))) props.add({kMessageLocaleId, kLocaleEnUs});
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
  if (stored > kMaxMessageBytes) throw Error(tooLargeReason(stored, message));
  props.set({tags::kMessageSize, static_cast<int32_t>(stored)});

  WrittenMessage out;
  out.data = ltp::writePropertyContext(writer_, props.list(), subnodes);
  out.subnodes = subnodes.write(writer_);
  out.size = static_cast<uint32_t>(stored);
  out.flags = flags;
  if (!rowColumns.empty()) {
    out.row = cellsFor(props.list(), rowColumns);
    if (std::binary_search(rowColumns.begin(), rowColumns.end(), status.tag)) out.row.push_back(status);
  }
  return out;
}

}  // namespace pst::messaging
