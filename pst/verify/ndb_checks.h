// The node-database checks of the verifier: header, blocks, reference counts, allocation maps.
#pragma once

#include <ostream>

#include "pst/ndb/ndb_reader.h"
#include "pst/verify/findings.h"

namespace pst::verify {

// Header constants and CRCs, and the ROOT fields that do not need the trees.
void checkHeader(const ndb::NdbReader& reader, Findings& findings);
// Every block's trailer, CRC and placement; the data and subnode trees of every node; the BBT
// reference counts against the references found.
void checkBlocksAndReferences(const ndb::NdbReader& reader, Findings& findings);
// AMap bits against everything allocated, cbAMapFree, and the PMap/FMap/FPMap/DList pages.
void checkAllocationMaps(const ndb::NdbReader& reader, Findings& findings);
// The node list in a stable text form (no BIDs or offsets, so files can be diffed).
void dumpNodes(const ndb::NdbReader& reader, std::ostream& out);

}  // namespace pst::verify
