// Strict structural check of a PST file.
#pragma once

#include <filesystem>
#include <ostream>

#include "pst/verify/findings.h"

namespace pst::verify {

// Checks `file`. With `dump` set, writes the node list, every PC's properties and every TC's
// columns and rows to it in a stable text form.
Findings verifyFile(const std::filesystem::path& file, std::ostream* dump = nullptr);

}  // namespace pst::verify
