// Little-endian loads and stores of fixed-width integers in byte buffers.
#pragma once

#include <cstdint>
#include <cstring>

namespace pst::ndb::le {

template <typename T>
inline T get(const uint8_t* p) {
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
  return v;
}

template <typename T>
inline void put(uint8_t* p, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

inline uint16_t u16(const uint8_t* p) { return get<uint16_t>(p); }
inline uint32_t u32(const uint8_t* p) { return get<uint32_t>(p); }
inline uint64_t u64(const uint8_t* p) { return get<uint64_t>(p); }

}  // namespace pst::ndb::le
