// Nodes of a new store whose contents Outlook writes the same in every file: the search
// activity list and the internal bookkeeping nodes. They are written as Outlook leaves them.
#pragma once

#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

void writeInternalNodes(ndb::NdbWriter& writer);

}  // namespace pst::messaging
