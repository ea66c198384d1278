#include "pst/verify/verify.h"

#include <memory>

#include "pst/ndb/ndb_reader.h"
#include "pst/verify/hex.h"
#include "pst/verify/ltp_checks.h"
#include "pst/verify/ndb_checks.h"

namespace pst::verify {

void dumpNodes(const ndb::NdbReader& r, std::ostream& out) {
  out << "nodes " << r.nodes().size() << "\n";
  for (const auto& n : r.nodes()) {
    out << "node " << hex(n.nid) << " parent " << hex(n.parent);
    try {
      out << " data " << r.readData(n.data).size();
      const auto subs = r.readSubnodes(n.subnodes);
      out << " subnodes " << subs.size();
      for (const auto& s : subs) out << " " << hex(s.nid) << ":" << r.readData(s.data).size();
    } catch (const Error& e) {
      out << " unreadable";
    }
    out << "\n";
  }
}

Findings verifyFile(const std::filesystem::path& file, std::ostream* dump) {
  Findings f;
  std::unique_ptr<ndb::NdbReader> reader;
  try {
    reader = std::make_unique<ndb::NdbReader>(
        file, [&f](const std::string& where, const std::string& what) { f.error(where, what); });
  } catch (const Error& e) {
    f.error(file.filename().string(), e.what());
    return f;
  }
  const auto guarded = [&](const char* stage, auto&& check) {
    try {
      check();
    } catch (const Error& e) {
      f.error(stage, e.what());
    }
  };
  guarded("header", [&] { checkHeader(*reader, f); });
  guarded("blocks", [&] { checkBlocksAndReferences(*reader, f); });
  guarded("allocation maps", [&] { checkAllocationMaps(*reader, f); });
  if (dump) guarded("dump", [&] { dumpNodes(*reader, *dump); });
  guarded("heap-based nodes", [&] { checkLtp(*reader, f, dump); });
  return f;
}

}  // namespace pst::verify
