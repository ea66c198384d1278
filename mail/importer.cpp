#include "mail/importer.h"

#include <gmime/gmime.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "mail/dates.h"
#include "mail/gmime_session.h"
#include "mail/header_fields.h"
#include "mail/header_guard.h"
#include "mail/message_builder.h"
#include "mail/message_detection.h"
#include "mail/message_parser.h"
#include "platform/file_status.h"
#include "platform/files.h"

namespace mail {
namespace {

struct ByteArrayDeleter {
  void operator()(GByteArray* array) const { g_byte_array_unref(array); }
};
using ByteArray = std::unique_ptr<GByteArray, ByteArrayDeleter>;

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) platform::closeFile(fd);
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

// 2147483648 as "2,147,483,648".
std::string withThousands(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::string tooLargeReason(uint64_t size) {
  return "The message file is " + withThousands(size) + " bytes, more than the " +
         withThousands(kMaxMessageFileBytes) +
         " bytes (2 GiB) that a message in a PST file can hold. Split or shorten the message on the mail "
         "server first.";
}

// Names the kinds of file that are no message file, whatever they are called.
const char* specialFileKind(platform::FileKind kind) {
  using platform::FileKind;
  if (kind == FileKind::NamedPipe) return "a named pipe";
  if (kind == FileKind::CharacterDevice) return "a character device";
  if (kind == FileKind::BlockDevice) return "a block device";
  if (kind == FileKind::Socket) return "a socket";
  return "neither a file nor a folder";
}

// Why a file of this type is not read; empty for a regular file.
std::string fileTypeReason(platform::FileKind kind) {
  if (kind == platform::FileKind::Regular) return {};
  if (kind == platform::FileKind::Folder) {
    return "This is a folder, not a message file. Add the folder with the add-folder command instead.";
  }
  return std::string("This is not a regular file (") + specialFileKind(kind) +
         "), so it holds no message to read. Remove it from the list: message files of the mail server are "
         "ordinary files.";
}

// Opens without waiting (a named pipe that slipped past the type check cannot block) and,
// where the system lets us, without touching the access time: reading is not using.
int openForReading(const std::filesystem::path& file) {
  return platform::openForReading(file, platform::kNoWait | platform::kKeepAccessTime);
}

// GMime gets the MIME fields of the header block (Content-Type and the like), an empty line,
// and the body; never the other fields, which the importer reads itself (see HeaderFields).
// They are written over the header block, just before the body. Grows `array` when they do not
// fit (a header block of nothing but MIME fields without an empty line after it).
struct GMimeInput {
  size_t start = 0;      // where GMime's input begins
  size_t bodyStart = 0;  // where the body begins now
};

GMimeInput placeMimeFields(GByteArray* array, const HeaderFields& fields, size_t bodyStart) {
  std::string mime;
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto field = fields.at(i);
    if (field.damaged || !isMimeField(field.name)) continue;
    mime += field.rawName;
    mime += ':';
    mime += field.value;
    if (mime.back() != '\n') mime += '\n';
  }
  mime += '\n';
  if (mime.size() > bodyStart) {
    const size_t extra = mime.size() - bodyStart;
    const size_t length = array->len;
    g_byte_array_set_size(array, static_cast<guint>(length + extra));
    std::memmove(array->data + bodyStart + extra, array->data + bodyStart, length - bodyStart);
    bodyStart += extra;
  }
  const size_t start = bodyStart - mime.size();
  std::memcpy(array->data + start, mime.data(), mime.size());
  return {start, bodyStart};
}

// The names of the fields of a message that shows nothing, for the reason.
std::string fieldNames(const HeaderFields& fields) {
  std::string names;
  int listed = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto field = fields.at(i);
    if (field.damaged) continue;
    if (++listed > 5) {
      names += " ...";
      break;
    }
    names += (names.empty() ? "\"" : ", \"") + std::string(field.name) + ":\"";
  }
  return names;
}

// Takes ownership of `array`.
ImportResult parseMessage(ByteArray array, uint64_t fallbackTime) {
  ImportResult result;
  normaliseBareCarriageReturns(array.get());
  const std::string_view bytes(reinterpret_cast<const char*>(array->data), array->len);
  const Detection detection = detectMessage(bytes);
  if (!detection.isMessage) {
    result.reason = detection.reason;
    return result;
  }
  const HeaderFields fields =
      HeaderFields::parse(bytes.substr(detection.headerStart, detection.headerEnd - detection.headerStart));
  const auto [start, bodyStart] = placeMimeFields(array.get(), fields, detection.bodyStart);
  char* data = reinterpret_cast<char*>(array->data);
  bool defused = defuseLongHeaderFields(data, start, bodyStart);
  // Messages attached inside this one are parsed by GMime, their address fields included.
  defused = boundAddressNestingInPlace(data, bodyStart, array->len) || defused;
  const gint64 length = array->len;
  GMimeStream* whole = g_mime_stream_mem_new_with_byte_array(array.release());
  GMimeStream* stream = g_mime_stream_substream(whole, static_cast<gint64>(start), length);
  g_object_unref(whole);
  GMimeMessage* message = parseMessageStream(stream);
  if (!message) {
    g_object_unref(stream);
    result.reason = "The file could not be read as an Internet mail message. Check that it is a message file of "
                    "the mail server.";
    return result;
  }
  if (defused) markDefused(GMIME_OBJECT(message));
  result.message = buildMessage(message, fields, fallbackTime);
  g_object_unref(message);
  g_object_unref(stream);
  if (showsNothing(result.message, fields)) {
    result.message = {};
    result.reason = "The file has nothing to show as a message: no sender, recipient, subject, date, text or "
                    "attachment, only the header field(s) " +
                    fieldNames(fields) +
                    ". Check that it is a message file of the mail server, not another kind of file that was given "
                    "the .msg extension.";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

ImportResult importMessageBytes(std::string_view bytes, uint64_t fallbackTime) {
  ensureGMimeInitialised();
  if (bytes.size() > kMaxMessageFileBytes) {
    ImportResult result;
    result.reason = tooLargeReason(bytes.size());
    return result;
  }
  ByteArray array(g_byte_array_sized_new(static_cast<guint>(bytes.size())));
  g_byte_array_append(array.get(), reinterpret_cast<const guint8*>(bytes.data()), static_cast<guint>(bytes.size()));
  return parseMessage(std::move(array), fallbackTime);
}

void MessageFileData::Release::operator()(uint8_t* bytes) const { g_free(bytes); }

MessageFileData readMessageFile(const std::filesystem::path& file) {
  MessageFileData data;
  auto cannotOpen = [&] {
    data.reason = "The file cannot be opened (" + std::string(std::strerror(errno)) +
                  "). Check that it exists and that you may read it.";
    return std::move(data);
  };
  // The type is checked before the file is opened: opening a device can have effects of its
  // own (a tape rewinds), and opening a named pipe waits for a writer.
  platform::FileStatus info;
  if (!platform::statusOf(file, info)) return cannotOpen();
  if (std::string reason = fileTypeReason(info.kind); !reason.empty()) {
    data.reason = std::move(reason);
    return data;
  }
  const FileDescriptor descriptor{openForReading(file)};
  const int fd = descriptor.fd;
  if (fd < 0 || !platform::statusOf(fd, info)) return cannotOpen();
  // It may have been replaced between the two looks.
  if (std::string reason = fileTypeReason(info.kind); !reason.empty()) {
    data.reason = std::move(reason);
    return data;
  }
  if (info.size > kMaxMessageFileBytes) {
    data.reason = tooLargeReason(info.size);
    return data;
  }
  // One read into a buffer of the file's size; the loop only covers short reads and a file
  // that shrinks while it is read (it is taken as far as it could be read).
  const auto size = static_cast<size_t>(info.size);
  data.bytes.reset(static_cast<uint8_t*>(g_malloc(size == 0 ? 1 : size)));
  size_t total = 0;
  while (total < size) {
    const long long n = platform::readSome(fd, data.bytes.get() + total, size - total);
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
  data.modified = unixSecondsToFileTime(info.modifiedSeconds) + static_cast<uint64_t>(info.modifiedNanoseconds / 100);
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
