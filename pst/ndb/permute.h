// NDB_CRYPT_PERMUTE: the byte substitution applied to the data of external data blocks.
#pragma once

#include <cstdint>
#include <span>

namespace pst::ndb {

void permuteEncode(std::span<uint8_t> data);
// Encodes `from` into `to` (from.size() bytes) in the same pass that copies it.
void permuteEncode(std::span<const uint8_t> from, uint8_t* to);
void permuteDecode(std::span<uint8_t> data);

}  // namespace pst::ndb
