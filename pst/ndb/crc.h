// The PST CRC-32: reflected polynomial 0xEDB88320, seed 0, no final inversion (not zlib's).
#pragma once

#include <cstdint>
#include <span>

namespace pst::ndb {

// Continues `crc` over `data`; start with 0.
uint32_t crc32(std::span<const uint8_t> data, uint32_t crc = 0);

}  // namespace pst::ndb
