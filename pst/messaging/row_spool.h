// Table rows parked in an unnamed temporary file until their table is written, so memory holds
// only the row's position (8 bytes) however many messages a folder gets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging {

class RowSpool {
 public:
  RowSpool();
  ~RowSpool();
  RowSpool(const RowSpool&) = delete;
  RowSpool& operator=(const RowSpool&) = delete;

  // Stores the cells and returns where they are.
  uint64_t put(const std::vector<Property>& cells);
  std::vector<Property> get(uint64_t position);

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
