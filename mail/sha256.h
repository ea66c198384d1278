// SHA-256 of a message file's bytes, for the migration ledger. Reckoned by the reader over the
// bytes it converts, so it must cost little next to parsing them: x86 processors with the SHA
// instructions use them (ten times GLib's speed), others a portable version.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mail {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void update(const void* data, size_t size);
  Sha256Digest finish();  // the object is spent afterwards

  // Whether the processor's SHA instructions are used; tests turn them off to check the other way.
  static bool hardware();
  static void setHardware(bool use);

 private:
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

Sha256Digest Sha256Of(const void* data, size_t size);

}  // namespace mail
