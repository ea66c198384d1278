// What the verifier found in a PST: errors make the file unacceptable, warnings do not.
#pragma once

#include <string>
#include <vector>

namespace pst::verify {

struct Finding {
  enum class Severity { Warning, Error } severity = Severity::Error;
  std::string where;    // e.g. "block 0x1234 at 0x4A00", "node 0x21 PC"
  std::string message;  // what is wrong
};

struct Findings {
  std::vector<Finding> items;
  void error(std::string where, std::string message) {
    items.push_back({Finding::Severity::Error, std::move(where), std::move(message)});
  }
  void warning(std::string where, std::string message) {
    items.push_back({Finding::Severity::Warning, std::move(where), std::move(message)});
  }
  size_t errorCount() const {
    size_t n = 0;
    for (const auto& f : items) n += f.severity == Finding::Severity::Error;
    return n;
  }
};

}  // namespace pst::verify
