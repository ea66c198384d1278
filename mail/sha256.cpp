#include "mail/sha256.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64)
#define VANTOREL_SHA_X86 1
#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace mail {

namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
    0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
    0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
    0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

// The first 32 bits of the fractional parts of the square roots of the first 8 primes.
constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t bigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void compressPortable(uint32_t state[8], const uint8_t* blocks, size_t count) {
  for (; count > 0; --count, blocks += 64) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = bigEndian32(blocks + 4 * t);
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1;
      d = c, c = b, b = a, a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
  }
}

#if VANTOREL_SHA_X86
#if !defined(_MSC_VER)
__attribute__((target("sha,sse4.1,ssse3")))
#endif
void compressHardware(uint32_t state[8], const uint8_t* blocks, size_t count) {
  // The instructions keep the state as (F, E, B, A) and (H, G, D, C), lowest lane first.
  const __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);  // B A D C
  const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);  // H G F E
  __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  for (; count > 0; --count, blocks += 64) {
    const __m128i savedAbef = abef, savedCdgh = cdgh;
    __m128i w[4];  // the last 16 schedule words, four to a register, oldest replaced first
    for (int i = 0; i < 4; ++i)
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
    for (int i = 0; i < 16; ++i) {
      __m128i& x = w[i % 4];
      if (i >= 4) {
        const __m128i& x1 = w[(i + 1) % 4];
        const __m128i& x2 = w[(i + 2) % 4];
        const __m128i& x3 = w[(i + 3) % 4];
        x = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(x, x1), _mm_alignr_epi8(x3, x2, 4)), x3);
      }
      __m128i k = _mm_add_epi32(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i)));
      // Two rounds at a time; after them the old (A, B, E, F) is the new (C, D, G, H).
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
      k = _mm_shuffle_epi32(k, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);  // A B E F
  const __m128i ghcd = _mm_shuffle_epi32(cdgh, 0xB1);  // G H C D
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, ghcd, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(ghcd, feba, 8));
}

bool processorHasSha() {
  unsigned a = 0, b = 0, c = 0, d = 0;
#if defined(_MSC_VER)
  int info[4];
  __cpuid(info, 0);
  if (info[0] < 7) return false;
  __cpuid(info, 1);
  c = static_cast<unsigned>(info[2]);
  __cpuidex(info, 7, 0);
  b = static_cast<unsigned>(info[1]);
#else
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __get_cpuid(1, &a, &b, &c, &d);
  const unsigned leaf1c = c;
  __get_cpuid_count(7, 0, &a, &b, &c, &d);
  c = leaf1c;
#endif
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19), sha = b & (1u << 29);
  return ssse3 && sse41 && sha;
}
#endif

std::atomic<bool>& useHardware() {
#if VANTOREL_SHA_X86
  static std::atomic<bool> use{processorHasSha()};
#else
  static std::atomic<bool> use{false};
#endif
  return use;
}

void compress(uint32_t state[8], const uint8_t* blocks, size_t count) {
#if VANTOREL_SHA_X86
  if (useHardware().load(std::memory_order_relaxed)) return compressHardware(state, blocks, count);
#endif
  compressPortable(state, blocks, count);
}

}  // namespace

Sha256::Sha256() { std::memcpy(state_, kInitial, sizeof state_); }

bool Sha256::hardware() { return useHardware().load(); }

void Sha256::setHardware(bool use) {
#if VANTOREL_SHA_X86
  useHardware().store(use && processorHasSha());
#else
  (void)use;
#endif
}

void Sha256::update(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  length_ += size;
  if (buffered_ > 0) {
    const size_t take = std::min(size, sizeof buffer_ - buffered_);
    std::memcpy(buffer_ + buffered_, bytes, take);
    buffered_ += take, bytes += take, size -= take;
    if (buffered_ < sizeof buffer_) return;
    compress(state_, buffer_, 1);
    buffered_ = 0;
  }
  if (size >= 64) {
    compress(state_, bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
  }
  std::memcpy(buffer_, bytes, size);
  buffered_ = size;
}

Sha256Digest Sha256::finish() {
  const uint64_t bits = length_ * 8;
  const uint8_t one = 0x80;
  update(&one, 1);
  const uint8_t zeros[64] = {};
  update(zeros, (buffered_ <= 56 ? 56 : 120) - buffered_);
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  update(lengthBytes, 8);
  Sha256Digest digest;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  return digest;
}

Sha256Digest Sha256Of(const void* data, size_t size) {
  Sha256 sha;
  sha.update(data, size);
  return sha.finish();
}

}  // namespace mail
