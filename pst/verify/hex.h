// Hexadecimal text for ids and offsets in findings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace pst::verify {

inline std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace pst::verify
