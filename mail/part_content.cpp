#include "mail/part_content.h"

#include <array>

namespace mail {
namespace {

template <typename Container>
void readAll(GMimeStream* stream, Container& out) {
  std::array<char, 65536> buffer{};
  while (true) {
    const ssize_t n = g_mime_stream_read(stream, buffer.data(), buffer.size());
    if (n <= 0) break;
    out.insert(out.end(), buffer.data(), buffer.data() + n);
  }
}

template <typename Container>
Container decode(GMimePart* part) {
  Container out;
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  if (!wrapper) return out;
  GMimeStream* raw = g_mime_data_wrapper_get_stream(wrapper);
  if (!raw) return out;
  const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(wrapper);
  g_mime_stream_reset(raw);
  const gint64 length = g_mime_stream_length(raw);
  if (length > 0) {
    // Base64 shrinks by a quarter; reserving that avoids both regrowth and a final trim.
    const auto size = static_cast<size_t>(length);
    out.reserve(encoding == GMIME_CONTENT_ENCODING_BASE64 ? size / 4 * 3 + 3 : size);
  }
  GMimeStream* filtered = g_mime_stream_filter_new(raw);
  if (encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    GMimeFilter* decoder = g_mime_filter_basic_new(encoding, FALSE);
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered), decoder);
    g_object_unref(decoder);
  }
  readAll(filtered, out);
  g_object_unref(filtered);
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
