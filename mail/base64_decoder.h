// Base64 transfer decoding of a whole part at once, giving byte for byte what GMime's basic
// decoding filter gives for the same bytes: characters outside the alphabet are passed over,
// the first '=' ends the data (completing a quartet of three or four symbols), anything after
// it is ignored, and an unfinished quartet at the end yields nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mail {

// The most bytes decodeBase64 can write for `length` input bytes.
constexpr size_t base64DecodedBound(size_t length) { return length / 4 * 3 + 3; }

// Decodes `length` bytes at `in` into `out` (room for base64DecodedBound(length)); returns
// the bytes written.
size_t decodeBase64(const uint8_t* in, size_t length, uint8_t* out);

}  // namespace mail
