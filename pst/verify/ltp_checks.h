// The heap, BTH, PC and TC checks of the verifier, run over every node whose type holds one.
#pragma once

#include <ostream>

#include "pst/ndb/ndb_reader.h"
#include "pst/verify/findings.h"

namespace pst::verify {

// Parses every heap-based node (and subnode) of `reader`, reports layout violations, and with
// `dump` writes each PC's properties and each TC's columns and rows.
void checkLtp(const ndb::NdbReader& reader, Findings& findings, std::ostream* dump);

}  // namespace pst::verify
