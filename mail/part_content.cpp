#include "mail/part_content.h"

#include "mail/base64_decoder.h"

namespace mail {
namespace {

// Reads the stream to its end straight into the tail of `out`, whose capacity the caller set
// to the expected size: it grows only when that was too little.
template <typename Container>
void readAll(GMimeStream* stream, Container& out) {
  size_t used = out.size();
  while (true) {
    if (out.capacity() == used) out.reserve(used + std::max<size_t>(used, 4096));
    out.resize(out.capacity());
    const ssize_t n = g_mime_stream_read(stream, reinterpret_cast<char*>(out.data() + used), out.size() - used);
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  out.resize(used);
}

// The bytes of a stream that lies in memory (as every part of a message parsed from memory
// does), without copying them; nullptr otherwise.
const uint8_t* bytesInMemory(GMimeStream* stream, size_t& length) {
  if (!GMIME_IS_STREAM_MEM(stream)) return nullptr;
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  if (!array) return nullptr;
  const gint64 begin = stream->bound_start;
  const gint64 end = stream->bound_end < 0 ? static_cast<gint64>(array->len) : stream->bound_end;
  if (begin < 0 || end < begin || end > static_cast<gint64>(array->len)) return nullptr;
  length = static_cast<size_t>(end - begin);
  return array->data + begin;
}

// Bytes into the container in one copy: std::string::assign from uint8_t iterators would first
// build a temporary string of them, a second copy of a body that may be a gigabyte.
void assignBytes(std::string& out, const uint8_t* bytes, size_t length) {
  out.assign(reinterpret_cast<const char*>(bytes), length);
}
void assignBytes(pst::Bytes& out, const uint8_t* bytes, size_t length) { out.assign(bytes, bytes + length); }

template <typename Container>
Container decode(GMimePart* part) {
  Container out;
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  if (!wrapper) return out;
  GMimeStream* raw = g_mime_data_wrapper_get_stream(wrapper);
  if (!raw) return out;
  const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(wrapper);
  const bool filtered = encoding == GMIME_CONTENT_ENCODING_BASE64 ||
                        encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
                        encoding == GMIME_CONTENT_ENCODING_UUENCODE;
  size_t length = 0;
  if (const uint8_t* bytes = bytesInMemory(raw, length)) {
    if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
      out.resize(base64DecodedBound(length));
      out.resize(decodeBase64(bytes, length, reinterpret_cast<uint8_t*>(out.data())));
      return out;
    }
    if (!filtered) {
      assignBytes(out, bytes, length);
      return out;
    }
  }
  g_mime_stream_reset(raw);
  const gint64 streamLength = g_mime_stream_length(raw);
  if (streamLength > 0) {
    const auto size = static_cast<size_t>(streamLength);
    // Decoding never grows the bytes; one spare byte lets the read that finds the end go
    // without growing the buffer.
    out.reserve((encoding == GMIME_CONTENT_ENCODING_BASE64 ? base64DecodedBound(size) : size) + 1);
  }
  GMimeStream* stream = g_mime_stream_filter_new(raw);
  if (filtered) {
    GMimeFilter* decoder = g_mime_filter_basic_new(encoding, FALSE);
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(stream), decoder);
    g_object_unref(decoder);
  }
  readAll(stream, out);
  g_object_unref(stream);
  g_mime_stream_reset(raw);
  return out;
}

}  // namespace

pst::Bytes decodedPartContent(GMimePart* part) { return decode<pst::Bytes>(part); }

std::string decodedPartText(GMimePart* part) { return decode<std::string>(part); }

pst::Bytes serializedObject(GMimeObject* object) {
  pst::Bytes out;
  GMimeStream* memory = g_mime_stream_mem_new();
  g_mime_object_write_to_stream(object, nullptr, memory);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
  if (bytes) out.assign(bytes->data, bytes->data + bytes->len);
  g_object_unref(memory);
  return out;
}

}  // namespace mail
