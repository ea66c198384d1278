#include "pst/verify/ltp_checks.h"

#include "pst/ltp/ndb_node_source.h"
#include "pst/ltp/pc_reader.h"
#include "pst/ltp/tc_reader.h"
#include "pst/ltp/value_codec.h"
#include "pst/ltp/value_text.h"
#include "pst/messaging/content_check.h"
#include "pst/verify/hex.h"
#include "pst/verify/outlook_checks.h"

namespace pst::verify {
namespace {

enum class Holds { Pc, Tc, Maybe, Nothing };

// What a node of this NID holds. Internal nodes other than the store and the name map, and the
// search objects, hold a heap only sometimes; their first bytes decide.
Holds holdsByNid(Nid nid) {
  switch (nidType(nid)) {
    case NidType::NormalFolder:
    case NidType::SearchFolder:
    case NidType::NormalMessage:
    case NidType::Attachment:
    case NidType::AssocMessage:
      return Holds::Pc;
    case NidType::ReceiveFolderTable:
    case NidType::OutgoingQueueTable:
    case NidType::HierarchyTable:
    case NidType::ContentsTable:
    case NidType::AssocContentsTable:
    case NidType::SearchContentsTable:
    case NidType::AttachmentTable:
    case NidType::RecipientTable:
      return Holds::Tc;
    case NidType::Internal:
      return nid == 0x21 || nid == 0x61 ? Holds::Pc : Holds::Maybe;
    case NidType::SearchCriteriaObject:
    case NidType::ContentsTableIndex:
    case NidType::SearchTableIndex:
      return Holds::Maybe;
    default:
      return Holds::Nothing;
  }
}

// Attached messages nest two subnode levels each (attachment, message), and the deepest one's
// tables have subnodes of their own: deeper nesting than the writer's limit gives is an error.
constexpr int kMaxSubnodeDepth = 2 * messaging::kMaxEmbeddingDepth + 2;

struct Checker {
  const ndb::NdbReader& reader;
  Findings& findings;
  std::ostream* dump;
  OutlookChecks outlook{reader.header().rgnid, findings};

  void pc(const ltp::NodeSource& source, const ObjectPlace& place) {
    const std::string& where = place.where;
    ltp::Problems problems;
    ltp::PcPlacement placement;
    const auto props = ltp::readPropertyContext(source, problems, placement);
    for (auto& p : problems) findings.error(where + " PC", p);
    outlook.propertyContext(place, props, placement);
    if (!dump) return;
    *dump << "pc " << where << " properties " << props.size() << "\n";
    for (const auto& p : props) *dump << "  " << ltp::tagText(p.tag) << " " << ltp::valueText(p.tag, p.value) << "\n";
  }

  void tc(const ltp::NodeSource& source, const ObjectPlace& place) {
    const std::string& where = place.where;
    ltp::Problems problems;
    {
      const ltp::TableReader table(source, problems);
      const auto& cols = table.layout().columns;
      if (dump) {
        const auto& g = table.layout().groupEnds;
        *dump << "tc " << where << " columns " << cols.size() << " rows " << table.rowCount() << " rgib " << g[0]
              << " " << g[1] << " " << g[2] << " " << g[3] << "\n";
        for (const auto& c : cols)
          *dump << "  column " << ltp::tagText(c.tag) << " ib " << c.offset << " cb " << int{c.size} << " bit "
                << int{c.bit} << "\n";
      }
      table.forEachRow([&](size_t index, uint32_t rowId, const ltp::TableReader::Cells& cells) {
        outlook.tableRow(place, table, rowId, cells);
        if (!dump) return;
        *dump << "  row " << index << " id " << hex(rowId) << "\n";
        for (size_t c = 0; c < cells.size(); ++c)
          if (cells[c]) *dump << "    " << ltp::tagText(cols[c].tag) << " " << ltp::valueText(cols[c].tag, *cells[c]) << "\n";
      });
      outlook.table(place, table);
    }
    for (auto& p : problems) findings.error(where + " TC", p);
  }

  void node(Nid nid, Bid data, Bid subnodes, const std::string& where, int depth, Nid top) {
    const ObjectPlace place{nid, top, depth, where};
    outlook.id(place);
    Holds holds = holdsByNid(nid);
    if (holds != Holds::Nothing) {
      try {
        const ltp::NodeSource source = ltp::nodeSource(reader, data, subnodes);
        if (holds == Holds::Maybe) {
          const bool heap = !source.blocks.empty() && ltp::looksLikeHeap(source.blocks.front());
          const uint8_t client = heap ? source.blocks.front()[3] : 0;
          holds = client == ltp::kClientPc ? Holds::Pc : client == ltp::kClientTc ? Holds::Tc : Holds::Nothing;
        } else if (source.blocks.empty()) {
          findings.error(where, "has no data, but its type holds a heap");
          holds = Holds::Nothing;
        }
        if (holds == Holds::Pc) pc(source, place);
        if (holds == Holds::Tc) tc(source, place);
      } catch (const Error& e) {
        findings.error(where, e.what());
      }
    }
    if (subnodes == 0) return;
    if (depth >= kMaxSubnodeDepth) {
      findings.error(where, "subnodes nested more than " + std::to_string(kMaxSubnodeDepth) + " deep (attached messages more than " +
                                std::to_string(messaging::kMaxEmbeddingDepth) + " levels)");
      return;
    }
    try {
      for (const auto& s : reader.readSubnodes(subnodes))
        node(s.nid, s.data, s.subnodes, where + " subnode " + hex(s.nid), depth + 1, top);
    } catch (const Error& e) {
      findings.error(where, e.what());
    }
  }
};

}  // namespace

void checkLtp(const ndb::NdbReader& reader, Findings& findings, std::ostream* dump) {
  Checker checker{reader, findings, dump};
  for (const auto& n : reader.nodes()) checker.node(n.nid, n.data, n.subnodes, "node " + hex(n.nid), 0, n.nid);
}

}  // namespace pst::verify
