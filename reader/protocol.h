// How the converter and its message readers (the program vantorel-reader) talk. The converter
// starts each reader with a pipe on its standard input for requests and one on descriptor 3
// for replies; the reader's standard output goes to its standard error, so that nothing a
// library prints can mix with the replies.
//
//   ready:   "VRR1", u32 0, u64 0 - sent once, first, when the reader is set up
//   request: "VRQ1", u32 path length, the path of one message file (at most kMaxRequestPath bytes)
//   reply:   "VRP1", u32 0, u64 length, that many bytes of message_codec's encoding
//
// The ready frame tells a reader that could not start (a library missing, a broken program)
// from one that a message took down: the first costs no file. All integers little-endian. A
// reader answers its requests in order, one reply each, and ends
// when its standard input ends. One that runs out of memory under its cap ends with
// kExitOutOfMemory rather than a reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace reader {

inline constexpr const char* kProgramName = "vantorel-reader";
// Where an installed converter finds the reader when it is not beside the program: relative to
// the program's folder, so /usr/bin/vantorel finds /usr/libexec/vantorel/vantorel-reader, and
// an unpacked or relocated package finds its own.
inline constexpr const char* kInstalledFolder = "../libexec/vantorel";

inline constexpr int kReplyDescriptor = 3;
inline constexpr uint32_t kRequestMagic = 0x31515256;  // "VRQ1"
inline constexpr uint32_t kReplyMagic = 0x31505256;    // "VRP1"
inline constexpr uint32_t kReadyMagic = 0x31525256;    // "VRR1"
inline constexpr size_t kRequestHeaderSize = 8;
inline constexpr size_t kReplyHeaderSize = 16;
inline constexpr size_t kMaxRequestPath = 65536;

inline constexpr int kExitOutOfMemory = 86;

// The limits of one file's reading.
inline constexpr int kFileTimeLimitSeconds = 60;
inline constexpr uint64_t kMemoryCapBytes = uint64_t{2} << 30;

// For tests only: "KIND:TEXT[,KIND:TEXT...]" makes a reader crash (KIND crash), never answer
// (hang), ask for more memory than its cap (memory) or wait 3 seconds first (pause) on every
// file whose path contains TEXT.
inline constexpr const char* kFaultVariable = "VANTOREL_READER_FAULT";

std::string requestFrame(std::string_view path);
std::string replyHeader(uint64_t payloadLength);
std::string readyFrame();  // kReplyHeaderSize bytes

inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t readLe64(const uint8_t* p) {
  return static_cast<uint64_t>(readLe32(p)) | static_cast<uint64_t>(readLe32(p + 4)) << 32;
}

}  // namespace reader
