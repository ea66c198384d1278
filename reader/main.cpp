// vantorel-reader: reads and parses message files for the converter, one process per worker,
// so that a message that crashes the parser, never ends or needs too much memory costs only
// itself. Started by the converter only; see reader/protocol.h.
#include <glib.h>
#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <unistd.h>

#include <limits.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "mail/importer.h"
#include "mail/sha256.h"
#include "reader/message_codec.h"
#include "reader/protocol.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTOREL_READER_UNCAPPED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOREL_READER_UNCAPPED 1
#endif
#endif

namespace {

constexpr int kExitBadRequest = 2;

[[noreturn]] void outOfMemory() { _exit(reader::kExitOutOfMemory); }

// GLib aborts the process when an allocation fails; that is the cap, not a crash.
GLogWriterOutput logWriter(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
  if (level & G_LOG_LEVEL_ERROR) {
    for (gsize i = 0; i < count; ++i) {
      if (std::strcmp(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0 &&
          std::strstr(static_cast<const char*>(fields[i].value), "failed to allocate")) {
        outOfMemory();
      }
    }
  }
  return g_log_writer_default(level, fields, count, data);
}

void limitItself(uint64_t memoryCap) {
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);  // a crash costs its file, not a core dump's disk and time
#ifndef VANTOREL_READER_UNCAPPED
  // AddressSanitizer reserves terabytes of address space, so a sanitized reader runs uncapped.
  const rlimit cap{memoryCap, memoryCap};
  setrlimit(RLIMIT_AS, &cap);
#else
  (void)memoryCap;
#endif
}

struct Fault {
  std::string kind;
  std::string text;
};

std::vector<Fault> faultsFromEnvironment() {
  std::vector<Fault> faults;
  const char* value = std::getenv(reader::kFaultVariable);
  if (!value) return faults;
  std::string spec = value;
  size_t start = 0;
  while (start <= spec.size()) {
    const size_t end = std::min(spec.find(',', start), spec.size());
    const std::string item = spec.substr(start, end - start);
    if (const size_t colon = item.find(':'); colon != std::string::npos)
      faults.push_back({item.substr(0, colon), item.substr(colon + 1)});
    start = end + 1;
  }
  return faults;
}

void injectFault(const std::vector<Fault>& faults, const std::string& path, uint64_t memoryCap) {
  for (const Fault& fault : faults) {
    if (path.find(fault.text) == std::string::npos) continue;
    if (fault.kind == "crash") raise(SIGSEGV);
    if (fault.kind == "hang") {
      for (;;) pause();
    }
    if (fault.kind == "pause") sleep(3);  // long enough for a test to act on the run meanwhile
    if (fault.kind == "memory") {
      void* block = g_malloc(memoryCap + (size_t{1} << 20));  // fails under the cap
      g_free(block);
    }
  }
}

bool readAll(int fd, void* data, size_t size) {
  auto* at = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the header and then the pieces, straight from where they lie.
bool writeReply(int fd, const std::string& header, const reader::Encoding& encoding) {
  std::vector<iovec> parts{{const_cast<char*>(header.data()), header.size()}};
  for (const auto& piece : encoding.pieces()) parts.push_back({const_cast<uint8_t*>(piece.data()), piece.size()});
  size_t next = 0;
  while (next < parts.size()) {
    const int count = static_cast<int>(std::min<size_t>(parts.size() - next, IOV_MAX));
    const ssize_t n = writev(fd, parts.data() + next, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    size_t written = static_cast<size_t>(n);
    while (next < parts.size() && written >= parts[next].iov_len) written -= parts[next++].iov_len;
    if (written > 0) {
      parts[next].iov_base = static_cast<char*>(parts[next].iov_base) + written;
      parts[next].iov_len -= written;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  g_log_set_writer_func(logWriter, nullptr, nullptr);
  uint64_t memoryCap = reader::kMemoryCapBytes;
  pid_t parent = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--memory-cap") == 0) memoryCap = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--parent") == 0) parent = static_cast<pid_t>(std::strtol(argv[i + 1], nullptr, 10));
  }
  // A reader outlives no converter, even one that was killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (parent != 0 && getppid() != parent) return 0;
  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, SIG_IGN);  // Ctrl+C is the converter's to handle
  limitItself(memoryCap);
  std::set_new_handler(outOfMemory);
  // As in the converter: large blocks (file buffers, decoded parts) come from the heap and are
  // reused by the next message, instead of costing fresh zeroed pages each time; the heap is
  // given back only above what a large message leaves free, or every one would cost its size in
  // page faults again.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  const std::vector<Fault> faults = faultsFromEnvironment();
  const std::string ready = reader::readyFrame();
  if (write(reader::kReplyDescriptor, ready.data(), ready.size()) != static_cast<ssize_t>(ready.size())) return 0;

  for (;;) {
    uint8_t header[reader::kRequestHeaderSize];
    if (!readAll(STDIN_FILENO, header, sizeof header)) return 0;  // the converter is done
    const uint32_t length = reader::readLe32(header + 4);
    if (reader::readLe32(header) != reader::kRequestMagic || length > reader::kMaxRequestPath) return kExitBadRequest;
    std::string path(length, '\0');
    if (!readAll(STDIN_FILENO, path.data(), length)) return kExitBadRequest;

    injectFault(faults, path, memoryCap);
    mail::ImportResult result;
    try {
      // The digest is of the very bytes converted: a ledger compares them with the next run's.
      mail::MessageFileData data = mail::readMessageFile(path);
      std::optional<mail::Sha256Digest> digest;
      if (data.reason.empty()) digest = mail::Sha256Of(data.bytes.get(), data.bytes ? data.size : 0);
      result = mail::importMessageData(std::move(data));
      result.sha256 = digest;
    } catch (const std::bad_alloc&) {
      outOfMemory();
    } catch (const std::exception& e) {
      result = mail::ImportResult{};
      result.reason = e.what();
    }
    const reader::Encoding encoding(result);
    if (!writeReply(reader::kReplyDescriptor, reader::replyHeader(encoding.size()), encoding)) return 0;
  }
}
