#include "pst/messaging/store.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <unordered_map>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/table_writer.h"
#include "pst/messaging/internal_nodes.h"
#include "pst/messaging/message_writer.h"
#include "pst/messaging/named_property_map.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/row_positions.h"
#include "pst/messaging/row_spool.h"
#include "pst/messaging/table_columns.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

namespace {

constexpr Nid kStoreNid = 0x21;
constexpr Nid kNameMapNid = 0x61;
constexpr Nid kRootNid = 0x122;
constexpr Nid kSpamSearchFolderNid = 0x2223;
constexpr Nid kIpmSubtreeNid = 0x8022;
constexpr Nid kSearchRootNid = 0x8042;
constexpr Nid kDeletedItemsNid = 0x8062;
constexpr Nid kCommonViewsNid = 0x8082;

constexpr Nid tableOf(Nid folder, NidType type) { return (folder & ~Nid{0x1F}) | static_cast<Nid>(type); }

enum class FolderKind { Root, IpmSubtree, SearchRoot, DeletedItems, CommonViews, Mail };

struct Folder {
  Nid nid = 0;
  Nid parent = 0;
  FolderKind kind = FolderKind::Mail;
  std::string name;
  std::unordered_map<std::string, Nid> byName;
  std::vector<Nid> children;  // in creation order
  uint32_t count = 0;
  uint32_t unread = 0;
  RowPositions rows;  // of the contents rows in the spool
  uint32_t reservedNext = 0, reservedEnd = 0;  // message id indexes set aside for this folder
};

Bytes randomGuid(std::mt19937_64& random) {
  Bytes g(16);
  for (size_t i = 0; i < 16; i += 8) {
    const uint64_t r = random();
    for (size_t k = 0; k < 8; ++k) g[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  return g;
}

std::vector<PropTag> sorted(std::vector<PropTag> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

struct Store::Impl {
  Impl(const std::filesystem::path& path, std::string displayName, int adopted)
      : writer(path, adopted), displayName(std::move(displayName)), messages(writer, names), spool(path.parent_path()) {}

  ndb::NdbWriter writer;
  std::string displayName;
  NamedPropertyMap names;
  MessageWriter messages;
  RowSpool spool;
  std::mt19937_64 random{std::random_device{}()};
  Bytes recordKey;
  std::map<Nid, Folder> folders;
  std::vector<PropTag> contentsColumns = sorted(columns::contentsTemplate());
  std::vector<PropTag> ipmContentsColumns = sorted(columns::ipmSubtreeContents());
  bool closed = false;
  uint64_t messageCount = 0;  // in every folder

  bool add(FolderId folder, const MessageContent& message, std::optional<uint64_t> maxFileSize);
  uint64_t completedSizeBound(uint64_t moreRows, uint64_t moreRowBytes) const;
  static uint64_t rowBytesBound(const std::vector<Property>& row);

  // Template tables, written once and shared by every empty table with the same columns.
  Bid hierarchyTemplate = 0, contentsTemplate = 0, assocTemplate = 0;

  Folder& folder(FolderId id, const char* action) {
    const auto it = folders.find(id);
    if (it == folders.end())
      throw Error(std::string("Cannot ") + action + ": there is no folder with id " + std::to_string(id) +
                  " in this store.");
    return it->second;
  }
  void checkOpen() const {
    if (closed) throw Error("The PST file is already complete; no more folders or messages can be added.");
  }

  Folder& addFolder(Nid nid, Nid parent, FolderKind kind, std::string name) {
    Folder& f = folders[nid];
    f.nid = nid;
    f.parent = parent;
    f.kind = kind;
    f.name = std::move(name);
    if (parent != nid) {
      Folder& p = folders.at(parent);
      p.byName.emplace(f.name, nid);
      p.children.push_back(nid);
    }
    return f;
  }

  Bytes entryId(Nid nid) const {
    Bytes id(4, 0);
    id.insert(id.end(), recordKey.begin(), recordKey.end());
    for (int i = 0; i < 4; ++i) id.push_back(static_cast<uint8_t>(nid >> (8 * i)));
    return id;
  }

  Bid writeTable(const ltp::TableContextBuilder& table, Bid& subnodes) {
    ltp::SubnodeBuilder sb;
    const Bid data = table.write(writer, sb);
    subnodes = sb.write(writer);
    return data;
  }
  void writeTableNode(Nid nid, const ltp::TableContextBuilder& table) {
    Bid sub = 0;
    const Bid data = writeTable(table, sub);
    writer.addNode(nid, data, sub, 0);
  }
  void writePcNode(Nid nid, const std::vector<Property>& props, Nid parent) {
    ltp::SubnodeBuilder sb;
    const Bid data = ltp::writePropertyContext(writer, props, sb);
    writer.addNode(nid, data, sb.write(writer), parent);
  }

  std::vector<Property> folderProps(const Folder& f) const {
    std::vector<Property> p = {{tags::kDisplayName, f.name},
                               {tags::kContentCount, static_cast<int32_t>(f.count)},
                               {tags::kContentUnreadCount, static_cast<int32_t>(f.unread)},
                               {tags::kSubfolders, int32_t{!f.children.empty() || f.kind == FolderKind::Root}}};
    if (f.kind == FolderKind::DeletedItems) p.push_back({tags::kComment, std::string("Deleted Items folder")});
    if (f.kind == FolderKind::CommonViews) p.push_back({tags::kComment, std::string()});
    if (f.kind == FolderKind::Mail) {
      p.push_back({tags::kContainerClass, std::string("IPF.Note")});
      p.push_back({tags::kPstHiddenCount, int32_t{0}});
      p.push_back({tags::kPstHiddenUnread, int32_t{0}});
    }
    return p;
  }

  std::vector<Property> hierarchyRow(const Folder& child) {
    auto cells = folderProps(child);
    std::erase_if(cells, [](const Property& p) { return p.tag == tags::kComment; });
    cells.push_back({tags::kLtpRowId, static_cast<int32_t>(child.nid)});
    cells.push_back({tags::kLtpRowVer, static_cast<int32_t>(writer.nextUnique())});
    return cells;
  }

  void writeSpecialNodes();
  void writeFolder(const Folder& f);
  void close();
};

void Store::Impl::writeSpecialNodes() {
  const Bytes versionGuid = randomGuid(random);
  Bytes version = {1, 0, 0, 0};
  version.insert(version.end(), versionGuid.begin(), versionGuid.end());
  version.insert(version.end(), {1, 0, 0, 0});
  writePcNode(kStoreNid,
              {{0x0E340102, version},
               {0x0E380003, int32_t{0}},
               {tags::kRecordKey, recordKey},
               {tags::kDisplayName, displayName},
               // Which of the four special folder entry ids below are present.
               {0x35DF0003, int32_t{0xC9}},
               {0x35E00102, entryId(kIpmSubtreeNid)},
               {0x35E30102, entryId(kDeletedItemsNid)},
               {0x35E60102, entryId(kCommonViewsNid)},
               {0x35E70102, entryId(kSearchRootNid)},
               {0x6633000B, int32_t{1}},
               {0x66FA0003, int32_t{0x000E0011}},
               {0x66FC0003, int32_t{0x0018B2B3}},
               {tags::kPstPassword, int32_t{0}}},
              0);
  writePcNode(kNameMapNid, names.properties(), 0);

  Bid sub = 0;
  hierarchyTemplate = writeTable(ltp::TableContextBuilder(columns::hierarchyTemplate()), sub);
  writer.addNode(0x60D, hierarchyTemplate, sub, 0);
  contentsTemplate = writeTable(ltp::TableContextBuilder(columns::contentsTemplate()), sub);
  writer.addNode(0x60E, contentsTemplate, sub, 0);
  assocTemplate = writeTable(ltp::TableContextBuilder(columns::assocContentsTemplate()), sub);
  writer.addNode(0x60F, assocTemplate, sub, 0);
  const Bid searchTemplate = writeTable(ltp::TableContextBuilder(columns::searchContentsTemplate()), sub);
  writer.addNode(0x610, searchTemplate, sub, 0);
  writer.addNode(tableOf(kSpamSearchFolderNid, NidType::SearchContentsTable), searchTemplate, 0, 0);

  ltp::TableContextBuilder receive(columns::receiveFolderTable());
  receive.keepEmptyCells();  // Outlook's own empty message class cell
  // The default receive folder is the root folder.
  const std::vector<Property> receiveRow = {{tags::kMessageClass, std::string()},
                                            {0x66050003, static_cast<int32_t>(kRootNid)},
                                            {tags::kLtpRowId, int32_t{1}},
                                            {tags::kLtpRowVer, static_cast<int32_t>(writer.nextUnique())}};
  receive.addRow(1, receiveRow);
  writeTableNode(0x62B, receive);
  writeTableNode(0x64C, ltp::TableContextBuilder(columns::outgoingQueueTable()));
  writeTableNode(0x671, ltp::TableContextBuilder(columns::attachmentTemplate()));
  writeTableNode(0x692, ltp::TableContextBuilder(columns::recipientTemplate()));
  writeTableNode(0x6B6, ltp::TableContextBuilder(columns::replicationTable16()));
  writeTableNode(0x6D7, ltp::TableContextBuilder(columns::replicationTable17()));
  writeTableNode(0x6F8, ltp::TableContextBuilder(columns::replicationTable18()));

  writeInternalNodes(writer);

  writePcNode(kSpamSearchFolderNid,
              {{tags::kDisplayName, std::string("SPAM Search Folder 2")},
               {tags::kContentCount, int32_t{0}},
               {tags::kContentUnreadCount, int32_t{0}},
               {tags::kSubfolders, int32_t{0}}},
              kRootNid);
  writer.addNode(tableOf(kSpamSearchFolderNid, NidType::SearchUpdateQueue), 0, 0, 0);
  writePcNode(tableOf(kSpamSearchFolderNid, NidType::SearchCriteriaObject), {{0x660B0003, int32_t{0}}}, 0);
}

void Store::Impl::writeFolder(const Folder& f) {
  writePcNode(f.nid, folderProps(f), f.parent);

  // Hierarchy table.
  std::vector<PropTag> hierarchyColumns = f.kind == FolderKind::IpmSubtree   ? columns::ipmSubtreeHierarchy()
                                          : f.kind == FolderKind::SearchRoot ? columns::searchRootHierarchy()
                                                                             : columns::hierarchyTemplate();
  const Nid ht = tableOf(f.nid, NidType::HierarchyTable);
  const bool hasRows = !f.children.empty() || f.kind == FolderKind::Root;
  if (!hasRows && (f.kind == FolderKind::Mail || f.kind == FolderKind::DeletedItems ||
                   f.kind == FolderKind::CommonViews)) {
    writer.addNode(ht, hierarchyTemplate, 0, 0);
  } else {
    ltp::TableContextBuilder table(hierarchyColumns);
    for (Nid c : f.children) {
      table.addRow(c, hierarchyRow(folders.at(c)));
      // Outlook lists the spam search folder right after Search Root.
      if (c == kSearchRootNid) {
        const std::vector<Property> spam = {{tags::kDisplayName, std::string("SPAM Search Folder 2")},
                                            {tags::kContentCount, int32_t{0}},
                                            {tags::kContentUnreadCount, int32_t{0}},
                                            {tags::kSubfolders, int32_t{0}},
                                            {tags::kLtpRowId, static_cast<int32_t>(kSpamSearchFolderNid)},
                                            {tags::kLtpRowVer, static_cast<int32_t>(writer.nextUnique())}};
        table.addRow(kSpamSearchFolderNid, spam);
      }
    }
    writeTableNode(ht, table);
  }

  // Contents table: rows come back from the spool one at a time.
  const Nid ct = tableOf(f.nid, NidType::ContentsTable);
  if (f.rows.empty() && f.kind != FolderKind::IpmSubtree) {
    writer.addNode(ct, contentsTemplate, 0, 0);
  } else {
    // Written as the rows come: a folder of any size takes a few blocks of memory here.
    ltp::SubnodeBuilder sb;
    ltp::TableWriter table(f.kind == FolderKind::IpmSubtree ? columns::ipmSubtreeContents()
                                                            : columns::contentsTemplate(),
                           f.rows.size(), writer, sb);
    f.rows.forEach([&](uint64_t at) {
      const auto cells = spool.get(at);
      uint32_t rowId = 0;
      for (const auto& c : cells)
        if (c.tag == tags::kLtpRowId) rowId = static_cast<uint32_t>(std::get<int32_t>(c.value));
      table.addRow(rowId, cells);
    });
    const Bid data = table.finish();
    writer.addNode(ct, data, sb.write(writer), 0);
  }

  // Associated contents table: always empty here.
  const Nid at = tableOf(f.nid, NidType::AssocContentsTable);
  if (f.kind == FolderKind::Root) {
    writeTableNode(at, ltp::TableContextBuilder(columns::rootAssocContents()));
  } else if (f.kind == FolderKind::CommonViews) {
    writeTableNode(at, ltp::TableContextBuilder(columns::commonViewsAssocContents()));
  } else {
    writer.addNode(at, assocTemplate, 0, 0);
  }
}

void Store::Impl::close() {
  checkOpen();
  closed = true;
  writeSpecialNodes();
  for (const auto& [nid, f] : folders) writeFolder(f);
  writer.finish();
}

Store::Store() = default;
Store::~Store() = default;

std::unique_ptr<Store> Store::create(const std::filesystem::path& path, const std::string& displayName,
                                     int adopted) {
  std::error_code ec;
  if (adopted < 0 && (std::filesystem::exists(path, ec) || std::filesystem::is_symlink(path, ec)))
    throw Error("The file \"" + path.string() + "\" exists already and is left as it is; choose another name.");
  std::unique_ptr<Store> store(new Store());
  store->impl_ = std::make_unique<Impl>(path, displayName, adopted);
  Impl& s = *store->impl_;
  s.recordKey = randomGuid(s.random);
  // The fixed special folders take the first four folder indexes, as in Outlook's files.
  for (Nid expected : {kIpmSubtreeNid, kSearchRootNid, kDeletedItemsNid, kCommonViewsNid})
    if (s.writer.allocateNid(NidType::NormalFolder) != expected)
      throw Error("Internal error: unexpected folder id sequence.");
  s.addFolder(kRootNid, kRootNid, FolderKind::Root, "");
  s.addFolder(kIpmSubtreeNid, kRootNid, FolderKind::IpmSubtree, "Top of Outlook data file");
  s.addFolder(kSearchRootNid, kRootNid, FolderKind::SearchRoot, "Search Root");
  s.addFolder(kCommonViewsNid, kRootNid, FolderKind::CommonViews, "IPM_COMMON_VIEWS");
  s.addFolder(kDeletedItemsNid, kIpmSubtreeNid, FolderKind::DeletedItems, "Deleted Items");
  return store;
}

FolderId Store::ipmSubtree() const { return kIpmSubtreeNid; }
FolderId Store::rootFolder() const { return kRootNid; }

FolderId Store::createFolder(FolderId parent, const std::string& name) {
  Impl& s = *impl_;
  s.checkOpen();
  Folder& p = s.folder(parent, "create a folder");
  if (name.empty()) throw Error("A folder needs a name; an empty name cannot be used.");
  // A second folder of the same name would hide the first in Outlook; the existing one is used.
  if (const auto it = p.byName.find(name); it != p.byName.end()) return it->second;
  const Nid nid = s.writer.allocateNid(NidType::NormalFolder);
  s.addFolder(nid, parent, FolderKind::Mail, name);
  return nid;
}

std::optional<FolderId> Store::findChild(FolderId parent, const std::string& name) const {
  const auto it = impl_->folders.find(parent);
  if (it == impl_->folders.end()) return std::nullopt;
  const auto c = it->second.byName.find(name);
  if (c == it->second.byName.end()) return std::nullopt;
  return c->second;
}

std::vector<FolderId> Store::children(FolderId parent) const {
  const auto it = impl_->folders.find(parent);
  return it == impl_->folders.end() ? std::vector<FolderId>{} : it->second.children;
}

std::string Store::folderName(FolderId folder) const {
  const auto it = impl_->folders.find(folder);
  return it == impl_->folders.end() ? std::string() : it->second.name;
}

void Store::addMessage(FolderId folder, const MessageContent& message) {
  impl_->add(folder, message, std::nullopt);
}

bool Store::addMessageWithin(FolderId folder, const MessageContent& message, uint64_t maxFileSize) {
  return impl_->add(folder, message, maxFileSize);
}

uint64_t Store::completedSizeBound() const { return impl_->completedSizeBound(0, 0); }

bool Store::Impl::add(FolderId folderId, const MessageContent& message, std::optional<uint64_t> maxFileSize) {
  checkOpen();
  Folder& f = folder(folderId, "add a message");
  const auto& rowColumns = f.kind == FolderKind::IpmSubtree ? ipmContentsColumns : contentsColumns;
  // A message refused part way (too large, a value that cannot be stored) leaves nothing behind:
  // the file stays as it was before the message.
  const ndb::NdbWriter::Mark before = writer.mark();
  WrittenMessage written;
  Nid nid = 0;
  try {
    written = messages.write(message, rowColumns);
    nid = f.reservedNext < f.reservedEnd ? makeNid(NidType::NormalMessage, f.reservedNext)
                                         : writer.allocateNid(NidType::NormalMessage);
    writer.addNode(nid, written.data, written.subnodes, f.nid);
  } catch (const Error&) {
    writer.rollback(before);
    throw;
  }
  std::erase_if(written.row, [](const Property& p) { return p.tag == tags::kLtpRowId || p.tag == tags::kLtpRowVer; });
  if (maxFileSize && completedSizeBound(1, rowBytesBound(written.row)) > *maxFileSize) {
    writer.rollback(before);
    return false;
  }
  if (f.reservedNext < f.reservedEnd) ++f.reservedNext;
  written.row.push_back({tags::kLtpRowId, static_cast<int32_t>(nid)});
  written.row.push_back({tags::kLtpRowVer, static_cast<int32_t>(writer.nextUnique())});
  f.rows.add(spool.put(written.row));
  ++f.count;
  ++messageCount;
  if (!(written.flags & tags::kMsgFlagRead)) ++f.unread;
  return true;
}

// What completing the file adds to what is written, bounded from above: each contents row
// (spooled compactly, stored with its strings in UTF-16 beside a row matrix), an index entry
// per block and node in pages that are not full, every folder's own nodes and tables, the
// header and maps, and the allocation map pages the growth brings.
uint64_t Store::Impl::completedSizeBound(uint64_t moreRows, uint64_t moreRowBytes) const {
  constexpr uint64_t kPerRow = 512;
  constexpr uint64_t kPerIndexEntry = 64;
  constexpr uint64_t kPerFolder = 16384;
  constexpr uint64_t kFixed = 256 * 1024;
  const uint64_t rows = messageCount + moreRows;
  uint64_t closing = 2 * (spool.size() + moreRowBytes) + kPerRow * rows +
                     kPerIndexEntry * (writer.indexEntries() + kPerRow / 64 * rows) + kPerFolder * folders.size() +
                     kFixed;
  const uint64_t size = writer.size() + closing;
  return size + size / 128;
}

uint64_t Store::Impl::rowBytesBound(const std::vector<Property>& row) {
  uint64_t bytes = 16;
  for (const Property& p : row) {
    bytes += 16;
    if (const auto* text = std::get_if<std::string>(&p.value)) bytes += text->size();
    if (const auto* data = std::get_if<Bytes>(&p.value)) bytes += data->size();
  }
  return bytes;
}

void Store::expectMessages(const std::vector<std::pair<FolderId, uint64_t>>& counts) {
  Impl& s = *impl_;
  s.checkOpen();
  std::unordered_map<Nid, uint64_t> expected;
  for (const auto& [id, n] : counts) {
    s.folder(id, "set aside message ids");
    expected[id] += n;
  }
  // The readers' order: depth first from the root folder, subfolders in node-id order. The ids
  // are set aside above every one used so far, and each folder in turn takes the highest still
  // free, so the folder searched last gets the lowest range.
  std::vector<std::pair<Folder*, uint32_t>> order;
  uint64_t total = 0;
  std::vector<Nid> pending{kRootNid};
  while (!pending.empty()) {
    Folder& f = s.folders.at(pending.back());
    pending.pop_back();
    if (const auto it = expected.find(f.nid); it != expected.end() && it->second > 0) {
      total += it->second;
      if (total >= ndb::NdbWriter::kNidIndexLimit)
        throw Error("Too many messages for one PST file: " + std::to_string(total) + " announced, and message ids go up to " +
                    std::to_string(ndb::NdbWriter::kNidIndexLimit - 1) + "; split the import into several files.");
      order.emplace_back(&f, static_cast<uint32_t>(it->second));
    }
    std::vector<Nid> children = f.children;
    std::sort(children.begin(), children.end(), std::greater<>());
    pending.insert(pending.end(), children.begin(), children.end());
  }
  if (total == 0) return;
  uint32_t top = s.writer.reserveNids(NidType::NormalMessage, static_cast<uint32_t>(total)) +
                 static_cast<uint32_t>(total);
  for (auto& [f, n] : order) {
    top -= n;
    f->reservedNext = top;
    f->reservedEnd = top + n;
  }
}

void Store::close() { impl_->close(); }

}  // namespace pst::messaging
