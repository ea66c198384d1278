// NDB_CRYPT_PERMUTE: the byte substitution applied to the data of external data blocks.
#pragma once

#include <cstdint>
#include <span>

namespace pst::ndb {

void permuteEncode(std::span<uint8_t> data);
void permuteDecode(std::span<uint8_t> data);

}  // namespace pst::ndb
