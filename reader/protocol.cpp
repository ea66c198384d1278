#include "reader/protocol.h"

namespace reader {

namespace {

void appendLe(std::string& out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string requestFrame(std::string_view path) {
  std::string frame;
  frame.reserve(kRequestHeaderSize + path.size());
  appendLe(frame, kRequestMagic, 4);
  appendLe(frame, path.size(), 4);
  frame.append(path);
  return frame;
}

std::string replyHeader(uint64_t payloadLength) {
  std::string header;
  appendLe(header, kReplyMagic, 4);
  appendLe(header, 0, 4);
  appendLe(header, payloadLength, 8);
  return header;
}

std::string readyFrame() {
  std::string frame;
  appendLe(frame, kReadyMagic, 4);
  frame.append(kReplyHeaderSize - 4, '\0');
  return frame;
}

}  // namespace reader
