#include "conversion/server_index.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/path_text.h"

namespace conversion {

namespace {

namespace fs = std::filesystem;

constexpr size_t kHeaderSize = 36;
constexpr size_t kRecordSize = 36;
constexpr size_t kNameSize = 23;
constexpr uint32_t kKnownVersion = 1;
// Records are read this many at a time: a damaged index never costs more than this buffer.
constexpr size_t kRecordsPerRead = 1820;

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

uint32_t readLe32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= uint32_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return value;
}

ServerIndex unusable(std::string problem) {
  ServerIndex index;
  index.kind = ServerIndex::Kind::Unusable;
  index.problem = std::move(problem);
  return index;
}

// What is wrong with an index of `size` bytes whose first bytes are `header` (all of them, or
// the whole header); empty when its size agrees with its header. Each record takes one UID
// from the header's next UID, so a file with more records than that is damaged, whatever its
// records hold: a sparse file of gigabytes is refused before any of it is read.
std::string headerProblem(std::string_view header, uint64_t size) {
  if (size < kHeaderSize) return "it is truncated (" + std::to_string(size) + " bytes, shorter than its header)";
  const uint32_t version = readLe32(header, 0);
  if (version != kKnownVersion) return "it has the unknown version " + std::to_string(version);
  if ((size - kHeaderSize) % kRecordSize != 0) {
    return "it is truncated (" + std::to_string(size) + " bytes, not a whole number of records)";
  }
  const uint64_t records = (size - kHeaderSize) / kRecordSize;
  const uint32_t nextUid = readLe32(header, 8);
  if (records > nextUid) {
    return "it is damaged (" + std::to_string(size) + " bytes make " + std::to_string(records) +
           " records, more than its header's next UID " + std::to_string(nextUid) + " allows)";
  }
  return {};
}

void addRecords(std::string_view records, ServerIndex& index) {
  for (size_t at = 0; at + kRecordSize <= records.size(); at += kRecordSize) {
    std::string_view name = records.substr(at, kNameSize);
    name = name.substr(0, name.find('\0'));
    if (!name.empty()) index.flags[lowerCase(name)] = static_cast<uint8_t>(records[at + kNameSize]);
  }
}

// The index file of `folder`: IMAP.MRK, or a name that differs from it in letter case only,
// whatever kind of file it is (what it is is looked at when it is opened).
std::optional<fs::path> findIndexFile(const fs::path& folder) {
  std::error_code ec;
  const fs::path exact = folder / kServerIndexName;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  const std::string wanted = lowerCase(kServerIndexName);
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (lowerCase(platform::pathText(it->path().filename())) == wanted) return it->path();
  }
  return std::nullopt;
}

std::string osError(int error) { return std::strerror(error); }

// "a named pipe" and the like for what is not a regular file; empty for a regular file.
std::string kindOf(platform::FileKind kind) {
  using platform::FileKind;
  if (kind == FileKind::Regular) return {};
  if (kind == FileKind::Folder) return "a folder";
  if (kind == FileKind::NamedPipe) return "a named pipe";
  if (kind == FileKind::CharacterDevice) return "a character device";
  if (kind == FileKind::BlockDevice) return "a block device";
  if (kind == FileKind::Socket) return "a socket";
  return "neither a file nor a folder";
}

std::optional<std::string> resolved(const fs::path& path) { return platform::realPath(path); }

bool isWithin(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) platform::closeFile(fd);
  }
};

// Opens the index `file` of `folder` when it is a regular file (or a link to one inside the
// store); else `problem` says what it is. The kind is looked at before opening, so that no
// device is opened, and again after, in case the file was replaced in between; opening
// never waits for a named pipe's writer.
int openIndex(const fs::path& file, const fs::path& folder, const std::vector<fs::path>& stores,
              std::string& problem) {
  platform::FileStatus info;
  if (!platform::statusOf(file, info, false)) {
    problem = "it cannot be examined (" + osError(errno) + ")";
    return -1;
  }
  fs::path target = file;
  std::string link;  // "a link to " when the file is a link
  if (info.kind == platform::FileKind::Link) {
    link = "a link to ";
    const std::optional<std::string> real = resolved(file);
    if (!real) {
      problem = errno == ENOENT ? std::string("it is a link to something that does not exist")
                                : "it is a link that cannot be followed (" + osError(errno) + ")";
      return -1;
    }
    bool inside = false;
    for (const fs::path& store : stores) {
      if (const auto root = resolved(store)) inside = inside || isWithin(*real, *root);
    }
    if (const auto own = resolved(folder)) inside = inside || isWithin(*real, *own);
    if (!inside) {
      problem = "it is a link to " + *real + ", outside the store, and is not followed";
      return -1;
    }
    target = platform::pathFromText(*real);
    if (!platform::statusOf(target, info)) {
      problem = "it cannot be examined (" + osError(errno) + ")";
      return -1;
    }
  }
  if (const std::string kind = kindOf(info.kind); !kind.empty()) {
    problem = "it is " + link + kind + ", not a file";
    return -1;
  }
  const int fd = platform::openForReading(target, platform::kNoWait | platform::kNoFollow);
  if (fd < 0) {
    problem = "it cannot be opened (" + osError(errno) + ")";
    return -1;
  }
  if (!platform::statusOf(fd, info)) {
    problem = "it cannot be examined (" + osError(errno) + ")";
  } else if (const std::string kind = kindOf(info.kind); !kind.empty()) {
    problem = "it is " + link + kind + ", not a file";
  }
  if (!problem.empty()) {
    platform::closeFile(fd);
    return -1;
  }
  return fd;
}

// Reads up to `size` bytes into `buffer`; the count read (short only at the end of the file),
// or -1 with errno set.
long long readUpTo(int fd, char* buffer, size_t size) {
  size_t total = 0;
  while (total < size) {
    const long long n = platform::readSome(fd, buffer + total, size - total);
    if (n < 0) return -1;
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return static_cast<long long>(total);
}

ServerIndex readOpenIndex(int fd) {
  platform::FileStatus info;
  if (!platform::statusOf(fd, info)) return unusable("it cannot be examined (" + osError(errno) + ")");
  const uint64_t size = info.size;
  std::string buffer(kRecordSize * kRecordsPerRead, '\0');
  const long long headerRead = readUpTo(fd, buffer.data(), kHeaderSize);
  if (headerRead < 0) return unusable("it cannot be read (" + osError(errno) + ")");
  if (static_cast<uint64_t>(headerRead) < std::min<uint64_t>(size, kHeaderSize)) {
    return unusable("it is truncated (" + std::to_string(headerRead) + " bytes, shorter than its header)");
  }
  if (std::string problem = headerProblem(std::string_view(buffer.data(), static_cast<size_t>(headerRead)), size);
      !problem.empty()) {
    return unusable(std::move(problem));
  }
  ServerIndex index;
  uint64_t left = size - kHeaderSize;  // never more than the size the header agreed with
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    const long long got = readUpTo(fd, buffer.data(), want);
    if (got < 0) return unusable("it cannot be read (" + osError(errno) + ")");
    if (static_cast<size_t>(got) < want) {
      return unusable("it is truncated (" + std::to_string(size - left + static_cast<uint64_t>(got)) + " of its " +
                      std::to_string(size) + " bytes could be read)");
    }
    addRecords(std::string_view(buffer.data(), want), index);
    left -= want;
  }
  index.kind = ServerIndex::Kind::Read;
  return index;
}

}  // namespace

std::optional<uint8_t> ServerIndex::find(std::string_view fileName) const {
  const auto it = flags.find(lowerCase(fileName));
  if (it == flags.end()) return std::nullopt;
  return it->second;
}

ServerIndex ParseServerIndex(std::string_view bytes) {
  if (std::string problem = headerProblem(bytes.substr(0, kHeaderSize), bytes.size()); !problem.empty()) {
    return unusable(std::move(problem));
  }
  ServerIndex index;
  addRecords(bytes.substr(kHeaderSize), index);
  index.kind = ServerIndex::Kind::Read;
  return index;
}

ServerIndex ReadServerIndex(const fs::path& folder, const std::vector<fs::path>& stores) {
  const std::optional<fs::path> file = findIndexFile(folder);
  if (!file) return ServerIndex{};
  ServerIndex index;
  std::string problem;
  const Descriptor descriptor{openIndex(*file, folder, stores, problem)};
  if (descriptor.fd < 0) {
    index = unusable(std::move(problem));
  } else {
    try {
      index = readOpenIndex(descriptor.fd);
    } catch (const std::bad_alloc&) {
      index = unusable("its records do not fit in the memory left");
    }
  }
  index.file = *file;
  return index;
}

}  // namespace conversion
