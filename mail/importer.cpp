#include "mail/importer.h"

#include <gmime/gmime.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "mail/dates.h"
#include "mail/gmime_session.h"
#include "mail/header_guard.h"
#include "mail/message_builder.h"
#include "mail/message_detection.h"
#include "mail/message_parser.h"

namespace mail {
namespace {

struct ByteArrayDeleter {
  void operator()(GByteArray* array) const { g_byte_array_unref(array); }
};
using ByteArray = std::unique_ptr<GByteArray, ByteArrayDeleter>;

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Old Macintosh mail ends lines with a bare CR, which GMime does not take for a line end.
void normaliseBareCarriageReturns(GByteArray* array) {
  const auto* data = array->data;
  const size_t size = array->len;
  size_t firstBreak = 0;
  while (firstBreak < size && data[firstBreak] != '\r' && data[firstBreak] != '\n') ++firstBreak;
  if (firstBreak + 1 >= size || data[firstBreak] != '\r' || data[firstBreak + 1] == '\n') return;
  for (size_t i = 0; i < size; ++i) {
    if (array->data[i] == '\r' && (i + 1 >= size || array->data[i + 1] != '\n')) array->data[i] = '\n';
  }
}

// Takes ownership of `array`.
ImportResult parseMessage(ByteArray array, uint64_t fallbackTime) {
  ImportResult result;
  const std::string_view bytes(reinterpret_cast<const char*>(array->data), array->len);
  const Detection detection = detectMessage(bytes);
  if (!detection.isMessage) {
    result.reason = detection.reason;
    return result;
  }
  normaliseBareCarriageReturns(array.get());
  const bool defused = defuseLongHeaderFields(reinterpret_cast<char*>(array->data), detection.headerStart,
                                              detection.headerEnd);
  const gint64 length = array->len;
  GMimeStream* whole = g_mime_stream_mem_new_with_byte_array(array.release());
  GMimeStream* stream = g_mime_stream_substream(whole, static_cast<gint64>(detection.headerStart), length);
  g_object_unref(whole);
  GMimeMessage* message = parseMessageStream(stream);
  if (!message) {
    g_object_unref(stream);
    result.reason = "The file could not be read as an Internet mail message. Check that it is a message file of "
                    "the mail server.";
    return result;
  }
  if (defused) markDefused(GMIME_OBJECT(message));
  result.message = buildMessage(message, fallbackTime);
  result.ok = true;
  g_object_unref(message);
  g_object_unref(stream);
  return result;
}

}  // namespace

ImportResult importMessageBytes(std::string_view bytes, uint64_t fallbackTime) {
  ensureGMimeInitialised();
  if (bytes.size() >= 0xFFFFFFFFull) {
    ImportResult result;
    result.reason = "The message is larger than 4 GB, more than a PST message can hold. Split or shorten the "
                    "message on the mail server first.";
    return result;
  }
  ByteArray array(g_byte_array_sized_new(static_cast<guint>(bytes.size())));
  g_byte_array_append(array.get(), reinterpret_cast<const guint8*>(bytes.data()), static_cast<guint>(bytes.size()));
  return parseMessage(std::move(array), fallbackTime);
}

void MessageFileData::Release::operator()(uint8_t* bytes) const { g_free(bytes); }

MessageFileData readMessageFile(const std::filesystem::path& file) {
  MessageFileData data;
  const FileDescriptor descriptor{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  const int fd = descriptor.fd;
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    data.reason = "The file cannot be opened (" + std::string(std::strerror(errno)) +
                  "). Check that it exists and that you may read it.";
    return data;
  }
  if (S_ISDIR(info.st_mode)) {
    data.reason = "This is a folder, not a message file. Add the folder with the add-folder command instead.";
    return data;
  }
  if (static_cast<unsigned long long>(info.st_size) >= 0xFFFFFFFFull) {
    data.reason = "The file is larger than 4 GB, more than a PST message can hold. Split or shorten the message "
                  "on the mail server first.";
    return data;
  }
  // One read into a buffer of the file's size; the loop only covers short reads and a file
  // that shrinks while it is read (it is taken as far as it could be read).
  const auto size = static_cast<size_t>(info.st_size);
  data.bytes.reset(static_cast<uint8_t*>(g_malloc(size == 0 ? 1 : size)));
  size_t total = 0;
  while (total < size) {
    const ssize_t n = ::read(fd, data.bytes.get() + total, size - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      data.reason = "The file could not be read completely (" + std::string(std::strerror(errno)) +
                    "). Check the disk or network share it lies on.";
      data.bytes.reset();
      return data;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  data.size = total;
  data.modified = unixSecondsToFileTime(static_cast<int64_t>(info.st_mtim.tv_sec)) +
                  static_cast<uint64_t>(info.st_mtim.tv_nsec / 100);
  return data;
}

ImportResult importMessageData(MessageFileData data) {
  ensureGMimeInitialised();
  if (!data.reason.empty() || !data.bytes) {
    ImportResult result;
    result.reason = data.reason.empty() ? "The file could not be read." : std::move(data.reason);
    return result;
  }
  ByteArray array(g_byte_array_new_take(data.bytes.release(), data.size));
  return parseMessage(std::move(array), data.modified);
}

ImportResult importMessageFile(const std::filesystem::path& file) {
  return importMessageData(readMessageFile(file));
}

}  // namespace mail
