// A store of folders built with our PC and TC writers: just enough for libpff to walk the
// folder tree, so that libpff reads our hierarchy tables back.
#pragma once

#include <string>
#include <vector>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"

namespace pst::test {

constexpr Nid kRootFolder = 0x122;

// Outlook's hierarchy table columns, in the order Outlook adds them.
inline std::vector<PropTag> hierarchyColumns() {
  return {0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x0E300102, 0x0E330014,
          0x0E340102, 0x0E380003, 0x3613001F, 0x66350003, 0x66360003};
}

inline Nid tableOf(Nid folder, NidType type) { return makeNid(type, nidIndex(folder)); }

// Writes a folder's PC and its three tables; `children` become the rows of its hierarchy table.
inline void addFolder(ndb::NdbWriter& w, Nid nid, Nid parent, const std::string& name,
                      const std::vector<std::pair<Nid, std::string>>& children) {
  const std::vector<Property> props = {{0x3001001F, name},
                                       {0x36020003, int32_t{0}},
                                       {0x36030003, int32_t{0}},
                                       {0x360A000B, int32_t{!children.empty()}}};
  ltp::SubnodeBuilder subs;
  const Bid pc = ltp::writePropertyContext(w, props, subs);
  w.addNode(nid, pc, subs.write(w), parent);

  ltp::TableContextBuilder hierarchy(hierarchyColumns());
  for (const auto& [child, childName] : children) {
    const std::vector<Property> cells = {{0x3001001F, childName},
                                         {0x36020003, int32_t{0}},
                                         {0x36030003, int32_t{0}},
                                         {0x360A000B, int32_t{0}}};
    hierarchy.addRow(child, cells);
  }
  for (NidType type : {NidType::HierarchyTable, NidType::ContentsTable, NidType::AssocContentsTable}) {
    ltp::SubnodeBuilder tableSubs;
    const ltp::TableContextBuilder empty({0x3001001F});
    const Bid data = (type == NidType::HierarchyTable ? hierarchy : empty).write(w, tableSubs);
    w.addNode(tableOf(nid, type), data, tableSubs.write(w), 0);
  }
}

// "Folder N", padded with dots to `length` characters when that is longer.
inline std::string folderName(size_t i, size_t length = 0) {
  std::string name = "Folder " + std::to_string(i);
  if (name.size() < length) name.resize(length, '.');
  return name;
}

// The store, a root folder and `count` child folders named folderName(i, nameLength).
inline void writeFolderStore(const std::filesystem::path& path, size_t count, size_t nameLength = 0) {
  ndb::NdbWriter w(path);
  const std::vector<Property> store = {{0x0FF90102, Bytes(16, 7)}, {0x3001001F, std::string("LTP test")}};
  ltp::SubnodeBuilder storeSubs;
  const Bid storePc = ltp::writePropertyContext(w, store, storeSubs);
  w.addNode(0x21, storePc, storeSubs.write(w), 0);
  std::vector<std::pair<Nid, std::string>> children;
  for (size_t i = 0; i < count; ++i)
    children.emplace_back(makeNid(NidType::NormalFolder, 0x400 + static_cast<uint32_t>(i)), folderName(i, nameLength));
  addFolder(w, kRootFolder, kRootFolder, "", children);
  for (const auto& [nid, name] : children) addFolder(w, nid, kRootFolder, name, {});
  w.finish();
}

}  // namespace pst::test
