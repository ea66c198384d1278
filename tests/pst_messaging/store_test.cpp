// A new store against Outlook's Empty.pst, the folder operations and the message node layout.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "pst/ltp/ndb_node_source.h"
#include "pst/ltp/pc_reader.h"
#include "pst/messaging/content_check.h"
#include "pst/messaging/named_property_map.h"
#include "pst/messaging/store.h"
#include "pst/ndb/le.h"
#include "test_support.h"

namespace pst::messaging {
namespace {

using PropMap = std::map<PropTag, PropValue>;

PropMap readPc(const ndb::NdbReader& reader, Bid data, Bid subnodes) {
  ltp::Problems problems;
  PropMap out;
  for (auto& p : ltp::readPropertyContext(ltp::nodeSource(reader, data, subnodes), problems)) out[p.tag] = p.value;
  EXPECT_TRUE(problems.empty()) << problems.front();
  return out;
}

PropMap readPc(const ndb::NdbReader& reader, Nid nid) {
  const auto* node = reader.findNode(nid);
  if (!node) throw Error("no node " + std::to_string(nid));
  return readPc(reader, node->data, node->subnodes);
}

int32_t intValue(const PropMap& m, PropTag tag) { return std::get<int32_t>(m.at(tag)); }

std::filesystem::path emptyStore(const test::TempDir& dir, const std::string& name = "new.pst") {
  const auto path = dir.file(name);
  auto store = Store::create(path, "Vantorel Test");
  store->close();
  return path;
}

TEST(NewStore, HasOutlooksNodesParentsAndSharedTemplates) {
  test::TempDir dir;
  const auto path = emptyStore(dir);
  ndb::NdbReader ours(path);
  ndb::NdbReader outlook(test::referencePst("Empty.pst"));
  std::map<Nid, Nid> ourNodes, outlookNodes;
  for (const auto& n : ours.nodes()) ourNodes[n.nid] = n.parent;
  for (const auto& n : outlook.nodes()) outlookNodes[n.nid] = n.parent;
  EXPECT_EQ(ourNodes, outlookNodes);
  // Empty nodes stay empty, and template tables share one block as Outlook's do.
  for (const auto& n : outlook.nodes())
    EXPECT_EQ(ours.findNode(n.nid)->data == 0, n.data == 0) << std::hex << n.nid;
  for (const auto& group : std::vector<std::vector<Nid>>{{0x60D, 0x806D, 0x808D},
                                                         {0x60E, 0x12E, 0x804E, 0x806E, 0x808E},
                                                         {0x60F, 0x802F, 0x804F, 0x806F},
                                                         {0x610, 0x2230}})
    for (Nid nid : group) EXPECT_EQ(ours.findNode(nid)->data, ours.findNode(group[0])->data) << std::hex << nid;
  EXPECT_EQ(test::verifierErrors(path), "");
}

// The verifier's dump of every node, PC and TC, with the values a new store must not copy
// masked: its key (alone and inside each entry id), the replication version, row versions (taken
// from the store's counter) and the padding that Outlook leaves unset after each stored name.
std::string maskedDump(const std::filesystem::path& file) {
  std::ostringstream dump;
  verify::verifyFile(file, &dump);
  std::istringstream in(dump.str());
  std::string out, line;
  const std::vector<std::string> masked = {"  0x0E340102 ", "  0x0FF90102 ", "  0x35E00102 ", "  0x35E30102 ",
                                           "  0x35E60102 ", "  0x35E70102 ", "  0x00040102 ", "    0x67F30003 "};
  while (std::getline(in, line)) {
    if (line.find(file.string()) != std::string::npos) continue;  // the summary names the file
    for (const auto& m : masked)
      if (line.rfind(m, 0) == 0) line = m + "*";
    out += line + "\n";
  }
  return out;
}

TEST(NewStore, EveryNodePropertyAndTableColumnIsOutlooks) {
  test::TempDir dir;
  const auto path = dir.file("Empty.pst");
  auto store = Store::create(path, "Empty");  // Outlook's file has this display name
  store->close();
  const std::string ours = maskedDump(path), outlook = maskedDump(test::referencePst("Empty.pst"));
  EXPECT_GT(ours.size(), 10000u);
  EXPECT_EQ(ours, outlook);
}

TEST(NewStore, SpecialObjectsCarryOutlooksPropertiesAndFreshIdentity) {
  test::TempDir dir;
  const auto first = emptyStore(dir, "a.pst");
  const auto second = emptyStore(dir, "b.pst");
  ndb::NdbReader ours(first), other(second), outlook(test::referencePst("Empty.pst"));
  for (Nid nid : {0x21u, 0x61u, 0x122u, 0x2223u, 0x2227u, 0x8022u, 0x8042u, 0x8062u, 0x8082u}) {
    const PropMap mine = readPc(ours, nid), theirs = readPc(outlook, nid);
    std::set<PropTag> a, b;
    for (auto& [t, v] : mine) a.insert(t);
    for (auto& [t, v] : theirs) b.insert(t);
    EXPECT_EQ(a, b) << "node 0x" << std::hex << nid;
  }
  const PropMap store = readPc(ours, 0x21), theirs = readPc(outlook, 0x21);
  // Values that must differ: the store's own key (in every entry id) and name.
  const Bytes key = std::get<Bytes>(store.at(0x0FF90102));
  ASSERT_EQ(key.size(), 16u);
  EXPECT_NE(key, std::get<Bytes>(readPc(other, 0x21).at(0x0FF90102)));
  EXPECT_EQ(std::get<std::string>(store.at(0x3001001F)), "Vantorel Test");
  const std::map<PropTag, Nid> entryIds = {{0x35E00102, 0x8022}, {0x35E30102, 0x8062},
                                           {0x35E60102, 0x8082}, {0x35E70102, 0x8042}};
  for (const auto& [tag, nid] : entryIds) {
    Bytes expected(4, 0);
    expected.insert(expected.end(), key.begin(), key.end());
    for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>(nid >> (8 * i)));
    EXPECT_EQ(std::get<Bytes>(store.at(tag)), expected) << std::hex << tag;
  }
  // The rest as Outlook has it; no password.
  for (PropTag tag : {0x0E380003u, 0x35DF0003u, 0x6633000Bu, 0x66FA0003u, 0x66FC0003u, 0x67FF0003u})
    EXPECT_EQ(intValue(store, tag), intValue(theirs, tag)) << std::hex << tag;
  for (Nid nid : {0x122u, 0x2223u, 0x8022u, 0x8042u, 0x8062u, 0x8082u})
    EXPECT_EQ(readPc(ours, nid).at(0x3001001F).index(), readPc(outlook, nid).at(0x3001001F).index());
  EXPECT_EQ(std::get<std::string>(readPc(ours, 0x8062).at(0x3004001F)), "Deleted Items folder");
}

TEST(NewStore, NeverOverwritesAFile) {
  test::TempDir dir;
  const auto path = dir.file("keep.pst");
  { std::ofstream(path) << "precious"; }
  try {
    Store::create(path, "x");
    FAIL() << "an existing file was accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("keep.pst"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::readText(path), "precious");
}

TEST(Folders, NestAtAnyDepthAndAreFoundByName) {
  test::TempDir dir;
  auto store = Store::create(dir.file("f.pst"), "F");
  FolderId parent = store->ipmSubtree();
  std::vector<FolderId> chain;
  for (int depth = 0; depth < 12; ++depth) {
    parent = store->createFolder(parent, "Ebene " + std::to_string(depth) + " — ü");
    chain.push_back(parent);
  }
  const FolderId a = store->createFolder(store->ipmSubtree(), "a");
  const FolderId upper = store->createFolder(store->ipmSubtree(), "A");
  EXPECT_NE(a, upper);  // names differ by case: two folders
  EXPECT_EQ(store->createFolder(store->ipmSubtree(), "a"), a);  // the same name again: the same folder
  EXPECT_EQ(store->findChild(store->ipmSubtree(), "a"), a);
  EXPECT_EQ(store->findChild(store->ipmSubtree(), "Deleted Items"), FolderId{0x8062});
  EXPECT_EQ(store->findChild(chain[10], "Ebene 11 — ü"), chain[11]);
  EXPECT_FALSE(store->findChild(store->ipmSubtree(), "b").has_value());
  EXPECT_FALSE(store->findChild(0xDEAD, "a").has_value());
  EXPECT_EQ(store->children(store->ipmSubtree()),
            (std::vector<FolderId>{0x8062, chain[0], a, upper}));
  EXPECT_EQ(store->folderName(chain[3]), "Ebene 3 — ü");
  EXPECT_THROW(store->createFolder(store->ipmSubtree(), ""), Error);
  EXPECT_THROW(store->createFolder(0x12345, "x"), Error);
  EXPECT_THROW(store->addMessage(0x12345, MessageContent{}), Error);
  store->close();
  EXPECT_THROW(store->createFolder(store->ipmSubtree(), "late"), Error);
  EXPECT_THROW(store->close(), Error);

  ndb::NdbReader reader(dir.file("f.pst"));
  for (size_t i = 0; i < chain.size(); ++i) {
    EXPECT_EQ(reader.findNode(chain[i])->parent, i == 0 ? store->ipmSubtree() : chain[i - 1]);
    const PropMap pc = readPc(reader, chain[i]);
    EXPECT_EQ(std::get<std::string>(pc.at(0x3613001F)), "IPF.Note");
    EXPECT_EQ(intValue(pc, 0x360A000B), i + 1 < chain.size() ? 1 : 0);
  }
  EXPECT_EQ(test::verifierErrors(dir.file("f.pst")), "");
}

MessageContent simpleMessage(const std::string& subject, int32_t flags) {
  MessageContent m;
  m.props = {{0x0037001F, subject}, {0x0E070003, flags}};
  return m;
}

TEST(Messages, SizeFlagsAndCountsDescribeWhatIsStored) {
  test::TempDir dir;
  const auto path = dir.file("m.pst");
  auto store = Store::create(path, "M");
  const FolderId inbox = store->createFolder(store->ipmSubtree(), "Inbox");
  const FolderId sub = store->createFolder(inbox, "Sub");

  MessageContent withAttachments = simpleMessage("with attachments", 0x01);
  withAttachments.props.push_back({0x1000001F, std::string(20000, 'b')});  // a body too big for the heap
  AttachmentContent file;
  file.props = {{0x3707001F, std::string("a.bin")}, {0x37010102, Bytes(30000, 3)}};
  withAttachments.attachments.push_back(std::move(file));
  AttachmentContent inner;
  inner.embedded = std::make_unique<MessageContent>(simpleMessage("inner", 0x01));
  inner.embedded->recipients.push_back({{0x3001001F, std::string("Rita")}, {0x0C150003, int32_t{1}}});
  withAttachments.attachments.push_back(std::move(inner));
  store->addMessage(sub, withAttachments);
  // Claims an attachment it does not have, and is unread.
  store->addMessage(sub, simpleMessage("plain", 0x11 & ~0x01));
  store->addMessage(sub, MessageContent{});
  store->close();

  ndb::NdbReader reader(path);
  std::vector<const ndb::NodeEntry*> messages;
  for (const auto& n : reader.nodes())
    if (nidType(n.nid) == NidType::NormalMessage) messages.push_back(&n);
  ASSERT_EQ(messages.size(), 3u);
  std::map<std::string, PropMap> bySubject;
  for (const auto* n : messages) {
    EXPECT_EQ(n->parent, sub);
    const PropMap pc = readPc(reader, n->data, n->subnodes);
    EXPECT_EQ(static_cast<uint64_t>(intValue(pc, 0x0E080003)), test::storedSize(reader, n->data, n->subnodes));
    // Every message has a recipient table; only those with attachments an attachment table.
    std::set<Nid> subnodes;
    for (const auto& e : reader.readSubnodes(n->subnodes)) subnodes.insert(e.nid);
    EXPECT_TRUE(subnodes.count(0x692));
    const auto subject = pc.count(0x0037001F) ? std::get<std::string>(pc.at(0x0037001F)) : std::string();
    EXPECT_EQ(subnodes.count(0x671), subject == "with attachments" ? 1u : 0u) << subject;
    for (PropTag t : {0x001A001Fu, 0x30070040u, 0x30080040u, 0x300B0102u, 0x10800003u, 0x3FF10003u})
      EXPECT_TRUE(pc.count(t)) << std::hex << t;
    EXPECT_FALSE(pc.count(0x0E170003u));  // the status is in the contents row only, as in Outlook's files
    bySubject[subject] = pc;
  }
  EXPECT_EQ(intValue(bySubject["with attachments"], 0x0E070003), 0x11);
  EXPECT_EQ(intValue(bySubject["plain"], 0x0E070003), 0x00);
  EXPECT_EQ(intValue(bySubject[""], 0x0E070003), 0x01);  // no flags given: stored as read
  EXPECT_EQ(std::get<std::string>(bySubject[""].at(0x001A001F)), "IPM.Note");

  const PropMap folder = readPc(reader, sub);
  EXPECT_EQ(intValue(folder, 0x36020003), 3);
  EXPECT_EQ(intValue(folder, 0x36030003), 1);
  EXPECT_EQ(intValue(readPc(reader, inbox), 0x360A000B), 1);

  // The parent's hierarchy row repeats the counts; the grandparent's row says Inbox has subfolders.
  const auto inboxRows = test::readTable(reader, (inbox & ~0x1Fu) | 0x0D);
  ASSERT_EQ(inboxRows.size(), 1u);
  const auto& subRow = inboxRows.at(sub);
  EXPECT_EQ(std::get<int32_t>(subRow.at(0x36020003)), 3);
  EXPECT_EQ(std::get<int32_t>(subRow.at(0x36030003)), 1);
  EXPECT_EQ(std::get<int32_t>(subRow.at(0x360A000B)), 0);
  EXPECT_EQ(std::get<std::string>(subRow.at(0x3613001F)), "IPF.Note");
  EXPECT_EQ(std::get<int32_t>(test::readTable(reader, 0x802D).at(inbox).at(0x360A000B)), 1);

  // One contents row per message, keyed by its NID, repeating the values of its PC.
  const auto contents = test::readTable(reader, (sub & ~0x1Fu) | 0x0E);
  ASSERT_EQ(contents.size(), 3u);
  for (const auto* n : messages) {
    const PropMap pc = readPc(reader, n->data, n->subnodes);
    const auto& row = contents.at(n->nid);
    for (PropTag t : {0x0E080003u, 0x0E070003u, 0x001A001Fu, 0x30080040u})
      EXPECT_EQ(test::sameValue(row.at(t), pc.at(t)), true) << std::hex << t;
    EXPECT_EQ(std::get<int32_t>(row.at(0x0E170003u)), 0);
    EXPECT_EQ(row.count(0x0037001F), pc.count(0x0037001F));
  }
  EXPECT_EQ(test::verifierErrors(path), "");
}

TEST(Messages, EmbeddedMessageIsAnObjectSubnodeWithItsOwnSize) {
  test::TempDir dir;
  const auto path = dir.file("e.pst");
  auto store = Store::create(path, "E");
  MessageContent outer = simpleMessage("outer", 1);
  AttachmentContent a;
  a.props = {{0x3001001F, std::string("forwarded")}};
  a.embedded = std::make_unique<MessageContent>(simpleMessage("middle", 1));
  AttachmentContent b;
  b.embedded = std::make_unique<MessageContent>(simpleMessage("innermost", 1));
  a.embedded->attachments.push_back(std::move(b));
  outer.attachments.push_back(std::move(a));
  store->addMessage(store->ipmSubtree(), outer);
  store->close();

  ndb::NdbReader reader(path);
  const ndb::NodeEntry* message = nullptr;
  for (const auto& n : reader.nodes())
    if (nidType(n.nid) == NidType::NormalMessage) message = &n;
  ASSERT_NE(message, nullptr);
  // Walks attachment -> embedded message twice, checking method, object size and subject.
  Bid data = message->data, subnodes = message->subnodes;
  for (const char* subject : {"middle", "innermost"}) {
    ndb::SubnodeEntry attachment{};
    for (const auto& e : reader.readSubnodes(subnodes))
      if (nidType(e.nid) == NidType::Attachment) attachment = e;
    ASSERT_NE(attachment.nid, 0u) << subject;
    const PropMap apc = readPc(reader, attachment.data, attachment.subnodes);
    EXPECT_EQ(intValue(apc, 0x37050003), 5);
    const auto ref = std::get<ObjectRef>(apc.at(0x3701000D));
    ndb::SubnodeEntry embedded{};
    for (const auto& e : reader.readSubnodes(attachment.subnodes))
      if (e.nid == ref.subnode) embedded = e;
    ASSERT_EQ(embedded.nid, ref.subnode);
    const PropMap mpc = readPc(reader, embedded.data, embedded.subnodes);
    EXPECT_EQ(std::get<std::string>(mpc.at(0x0037001F)), subject);
    EXPECT_EQ(ref.size, test::storedSize(reader, embedded.data, embedded.subnodes));
    EXPECT_EQ(static_cast<uint32_t>(intValue(mpc, 0x0E080003)), ref.size);
    data = embedded.data;
    subnodes = embedded.subnodes;
  }
  (void)data;
  EXPECT_EQ(test::verifierErrors(path), "");
}

}  // namespace
}  // namespace pst::messaging

namespace pst::messaging {
namespace {

MessageContent nested(int levels) {
  MessageContent top;
  top.props = {{0x0037001F, std::string("level 0")}};
  MessageContent* level = &top;
  for (int depth = 1; depth <= levels; ++depth) {
    AttachmentContent a;
    a.embedded = std::make_unique<MessageContent>();
    a.embedded->props = {{0x0037001F, "level " + std::to_string(depth)}, {0x1000001F, std::string(5000, 'x')}};
    a.embedded->recipients.push_back({{0x3001001F, std::string("r")}});
    level->attachments.push_back(std::move(a));
    level = level->attachments.back().embedded.get();
  }
  return top;
}

TEST(Messages, RefusedMessagesLeaveNothingAndSayWhy) {
  test::TempDir dir;
  auto write = [&](const std::string& name, bool withRefused) {
    const auto path = dir.file(name);
    auto store = Store::create(path, "Bad");
    const FolderId inbox = store->createFolder(store->ipmSubtree(), "Inbox");
    std::vector<std::string> reasons;
    if (withRefused) {
      // Each is wrong in one place, deep inside, after parts that could already have been written.
      std::vector<MessageContent> bad(3);
      for (auto& m : bad) {
        m.props = {{0x0037001F, std::string("bad")}};
        m.recipients.push_back({{0x3001001F, std::string("ok")}});
        AttachmentContent a;
        a.props = {{0x37010102, Bytes(10000, 1)}};
        m.attachments.push_back(std::move(a));
      }
      bad[0].props.push_back({0x7D000003, std::string("text in an integer")});
      bad[1].recipients[0].push_back({0x3003001F, int32_t{5}});
      bad[2].attachments[0].props.push_back({0x3701000D, ObjectRef{0x1234, 5}});
      bad.push_back(nested(kMaxEmbeddingDepth + 1));
      // 1,075,000,000 characters of text take 2,150,000,000 bytes stored: over the 2 GiB a
      // message holds, refused before a block is written.
      MessageContent huge = simpleMessage("huge", 1);
      huge.props.push_back({0x1000001F, std::string(1'075'000'000, 'a')});
      bad.push_back(std::move(huge));
      for (const auto& m : bad) {
        try {
          store->addMessage(inbox, m);
          reasons.push_back("accepted");
        } catch (const Error& e) {
          reasons.push_back(e.what());
        }
      }
    }
    store->addMessage(inbox, nested(kMaxEmbeddingDepth));  // the deepest nesting readers read
    store->close();
    return std::pair{path, reasons};
  };
  const auto [path, reasons] = write("bad.pst", true);
  ASSERT_EQ(reasons.size(), 5u);
  EXPECT_NE(reasons[0].find("0x7D000003"), std::string::npos) << reasons[0];
  EXPECT_NE(reasons[3].find("more than 8 levels"), std::string::npos) << reasons[3];
  EXPECT_NE(reasons[4].find("needs at least 2,150,000,"), std::string::npos) << reasons[4];
  EXPECT_NE(reasons[4].find("2,147,483,647 bytes"), std::string::npos) << reasons[4];
  EXPECT_NE(reasons[4].find("the text body"), std::string::npos) << reasons[4];
  // No errors, and the same blocks and size as a file that never saw the refused ones.
  EXPECT_EQ(test::verifierErrors(path), "");
  const auto clean = write("clean.pst", false).first;
  EXPECT_EQ(verify::verifyFile(path).items.size(), verify::verifyFile(clean).items.size());
  ndb::NdbReader reader(path), expected(clean);
  EXPECT_EQ(reader.blocks().size(), expected.blocks().size());
  EXPECT_EQ(reader.fileSize(), expected.fileSize());
}

TEST(Messages, NamedPropertiesGetStableIdsAndFillTheNamedColumns) {
  test::TempDir dir;
  const auto path = dir.file("named.pst");
  auto store = Store::create(path, "Named");
  const Guid common = parseGuid("00062008-0000-0000-c000-000000000046");
  const Guid headers = parseGuid("00020386-0000-0000-c000-000000000046");
  MessageContent m;
  m.props = {{0x0037001F, std::string("named")}};
  m.named = {{{common, uint32_t{0x8510}}, PropType::Int32, int32_t{42}},  // a column of the top folder
             {{headers, std::string("x-mailer")}, PropType::Unicode, std::string("Vantorel")}};
  store->addMessage(store->ipmSubtree(), m);
  m.named[1].value = std::string("second");
  store->addMessage(store->ipmSubtree(), m);
  store->close();

  ndb::NdbReader reader(path);
  std::vector<PropMap> pcs;
  for (const auto& n : reader.nodes())
    if (nidType(n.nid) == NidType::NormalMessage) pcs.push_back(readPc(reader, n.data, n.subnodes));
  ASSERT_EQ(pcs.size(), 2u);
  // Message ids count up, so the node B-tree lists the messages in the order they came.
  EXPECT_EQ(intValue(pcs[0], 0x80100003), 42);
  EXPECT_EQ(std::get<std::string>(pcs[0].at(0x8023001F)), "Vantorel");
  EXPECT_EQ(std::get<std::string>(pcs[1].at(0x8023001F)), "second");
  for (const auto& [id, row] : test::readTable(reader, 0x802E)) EXPECT_EQ(std::get<int32_t>(row.at(0x80100003)), 42);
  // The map now lists the new name: entry 0x23 in the entry stream.
  const Bytes entries = std::get<Bytes>(readPc(reader, 0x61).at(0x00030102));
  ASSERT_EQ(entries.size(), 36u * 8);
  EXPECT_EQ(ndb::le::get<uint16_t>(entries.data() + 35 * 8 + 6), 0x23);
  EXPECT_EQ(test::verifierErrors(path), "");
}

// libpst and libpff place the nodes of a file in node-id order, each under its parent, which
// they find by searching the tree placed so far depth-first, children in placement order.
// Counts the messages those searches pass on their way to the folders of later messages.
size_t messagesPassedByReaders(const ndb::NdbReader& reader) {
  struct Placed {
    Nid nid;
    std::vector<size_t> children;
  };
  std::vector<Placed> tree{{0, {}}};  // the readers' own root; nodes without a parent hang here
  size_t passed = 0;
  for (const auto& n : reader.nodes()) {
    size_t parent = 0;
    if (n.parent != 0 && n.parent != n.nid) {
      std::vector<size_t> pending{0};
      while (!pending.empty()) {
        const size_t at = pending.back();
        pending.pop_back();
        if (tree[at].nid == n.parent) {
          parent = at;
          break;
        }
        if (nidType(tree[at].nid) == NidType::NormalMessage && nidType(n.nid) == NidType::NormalMessage) ++passed;
        pending.insert(pending.end(), tree[at].children.rbegin(), tree[at].children.rend());
      }
    }
    tree[parent].children.push_back(tree.size());
    tree.push_back({n.nid, {}});
  }
  return passed;
}

TEST(Messages, AnnouncedMessagesAreNumberedSoReadersFindTheirFoldersAtOnce) {
  test::TempDir dir;
  for (const bool announced : {true, false}) {
    const auto path = dir.file(announced ? "announced.pst" : "unannounced.pst");
    auto store = Store::create(path, "Order");
    const FolderId top = store->ipmSubtree();
    const FolderId a = store->createFolder(top, "A");
    const FolderId b = store->createFolder(top, "B");
    const FolderId a1 = store->createFolder(a, "A1");  // created after B, but searched before it
    const FolderId b1 = store->createFolder(b, "B1");
    const FolderId a2 = store->createFolder(a, "A2");
    // B gets one message fewer than announced (a file that could not be converted).
    const std::vector<std::pair<FolderId, uint64_t>> expected{{top, 1}, {a, 3}, {a1, 2}, {a2, 2}, {b, 3}, {b1, 2}};
    const std::vector<std::pair<FolderId, int>> added{{top, 1}, {a, 3}, {a1, 2}, {a2, 2}, {b, 2}, {b1, 2}};
    if (announced) store->expectMessages(expected);
    int stored = 0;
    for (int round = 0; round < 4; ++round)
      for (const auto& [folder, count] : added)
        if (round < count) store->addMessage(folder, simpleMessage("m" + std::to_string(stored++), 1));
    store->close();
    EXPECT_EQ(test::verifierErrors(path), "");
    ndb::NdbReader reader(path);
    size_t messages = 0;
    for (const auto& n : reader.nodes()) {
      if (nidType(n.nid) != NidType::NormalMessage) continue;
      ++messages;
      // Upward from Outlook's first message id, under the counter, positive as a row id.
      EXPECT_GE(n.nid, 0x200024u);
      EXPECT_LE(nidIndex(n.nid), reader.header().rgnid[4]);
    }
    EXPECT_EQ(messages, static_cast<size_t>(stored));
    EXPECT_LT(reader.header().rgnid[4], 0x10000u + 32);
    // Without the announcement the same file makes the readers walk past earlier folders' mail.
    if (announced)
      EXPECT_EQ(messagesPassedByReaders(reader), 0u);
    else
      EXPECT_GT(messagesPassedByReaders(reader), 0u);
  }
  auto store = Store::create(dir.file("unknown.pst"), "Unknown");
  EXPECT_THROW(store->expectMessages({{0x12345, 1}}), Error);
}

}  // namespace
}  // namespace pst::messaging
