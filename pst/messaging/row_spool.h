// Table rows parked in an unnamed temporary file until their table is written, so memory holds
// only the row's position (8 bytes) however many messages a folder gets. The file lives beside the
// PST (where the space for the PST is, unlike a small or memory-backed temporary folder) and has
// no name from the start, so nothing is left behind whatever happens.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging {

class RowSpool {
 public:
  explicit RowSpool(const std::filesystem::path& folder);
  ~RowSpool();
  RowSpool(const RowSpool&) = delete;
  RowSpool& operator=(const RowSpool&) = delete;

  // Stores the cells and returns where they are.
  uint64_t put(const std::vector<Property>& cells);
  std::vector<Property> get(uint64_t position);
  // Bytes of all rows stored so far.
  uint64_t size() const { return end_; }

 private:
  std::FILE* file_ = nullptr;
  uint64_t end_ = 0;
  bool reading_ = false;
  std::vector<uint8_t> buffer_;
};

// The serial form used by the spool, exposed for testing.
void appendProperty(std::vector<uint8_t>& out, const Property& p);
Property readProperty(const uint8_t*& p, const uint8_t* end);

}  // namespace pst::messaging
