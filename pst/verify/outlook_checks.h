// What Outlook never writes, though MS-PST may allow it, as its own files show: errors for what
// Outlook or Microsoft's PST library cannot use safely, warnings for the rest.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "pst/ltp/pc_reader.h"
#include "pst/ltp/tc_reader.h"
#include "pst/verify/findings.h"

namespace pst::verify {

// Where a heap-based object sits: the node's own id, the top-level node it belongs to, and
// how deep in that node's subnode trees it lies (0 for the node itself).
struct ObjectPlace {
  Nid nid = 0;
  Nid topNid = 0;
  int depth = 0;
  std::string where;
};

class OutlookChecks {
 public:
  OutlookChecks(const std::array<uint32_t, 32>& rgnid, Findings& findings) : rgnid_(rgnid), findings_(findings) {}

  // Every node and subnode id lies at or below its type's counter; no node id reads as a
  // negative row id.
  void id(const ObjectPlace& place);
  void propertyContext(const ObjectPlace& place, const std::vector<Property>& props, const ltp::PcPlacement& placement);
  void table(const ObjectPlace& place, const ltp::TableReader& table);
  void tableRow(const ObjectPlace& place, const ltp::TableReader& table, uint32_t rowId, const ltp::TableReader::Cells& cells);

 private:
  void message(const ObjectPlace& place, const std::vector<Property>& props);
  void attachment(const ObjectPlace& place, const std::vector<Property>& props);
  void warn(const ObjectPlace& place, const std::string& what) { findings_.warning(place.where, what); }

  const std::array<uint32_t, 32>& rgnid_;
  Findings& findings_;
  std::string lastRowWarning_;  // one row warning per table is enough
};

}  // namespace pst::verify
