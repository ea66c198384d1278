// Reads a property context back into properties.
#pragma once

#include "pst/ltp/node_source.h"

namespace pst::ltp {

// The properties in tag id order. pst::Error when the node is no PC; a value that cannot be
// read is left out and named in `problems`. Values of types property.h does not list come back
// as their raw bytes.
std::vector<Property> readPropertyContext(const NodeSource& source, Problems& problems);

}  // namespace pst::ltp
