// vantorel-reader: reads and parses message files for the converter, one process per worker,
// so that a message that crashes the parser, never ends or needs too much memory costs only
// itself. Started by the converter only; see reader/protocol.h.
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "mail/importer.h"
#include "mail/sha256.h"
#include "platform/child_side.h"
#include "platform/files.h"
#include "platform/heap_tuning.h"
#include "platform/path_text.h"
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

[[noreturn]] void outOfMemory() { platform::child::endNow(reader::kExitOutOfMemory); }

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
#ifndef VANTOREL_READER_UNCAPPED
  // AddressSanitizer reserves terabytes of address space, so a sanitized reader runs uncapped.
  platform::child::capMemory(memoryCap);
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
    if (fault.kind == "crash") platform::child::crash();
    if (fault.kind == "hang") {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    // Long enough for a test to act on the run meanwhile.
    if (fault.kind == "pause") std::this_thread::sleep_for(std::chrono::seconds(3));
    if (fault.kind == "memory") {
      void* block = g_malloc(memoryCap + (size_t{1} << 20));  // fails under the cap
      g_free(block);
    }
  }
}

bool readAll(int fd, void* data, size_t size) {
  auto* at = static_cast<char*>(data);
  while (size > 0) {
    const long long n = platform::readSome(fd, at, size);
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the header and then the pieces, straight from where they lie.
bool writeReply(int fd, const std::string& header, const reader::Encoding& encoding) {
  std::vector<std::span<const uint8_t>> parts{
      {reinterpret_cast<const uint8_t*>(header.data()), header.size()}};
  for (const auto& piece : encoding.pieces()) parts.emplace_back(piece.data(), piece.size());
  return platform::child::writePieces(fd, parts);
}

}  // namespace

int main(int argc, char** argv) {
  g_log_set_writer_func(logWriter, nullptr, nullptr);
  uint64_t memoryCap = reader::kMemoryCapBytes;
  long long parent = 0;
  bool digests = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--memory-cap") == 0) memoryCap = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--parent") == 0) parent = std::strtoll(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--digests") == 0) digests = std::strcmp(argv[i + 1], "1") == 0;
  }
  // A reader outlives no converter, even one that was killed; Ctrl+C is the converter's to handle.
  if (!platform::child::followParent(parent)) return 0;
  limitItself(memoryCap);
  std::set_new_handler(outOfMemory);
  // As in the converter: large blocks (file buffers, decoded parts) come from the heap and are
  // reused by the next message, instead of costing fresh zeroed pages each time; the heap is
  // given back only above what a large message leaves free, or every one would cost its size in
  // page faults again.
  platform::keepLargeBlocksInHeap(64 << 20, 256 << 20);
  const std::vector<Fault> faults = faultsFromEnvironment();
  const int replies = platform::child::replyOutput(reader::kReplyDescriptor);
  const int requests = platform::child::requestInput();
  const std::string ready = reader::readyFrame();
  if (platform::writeSome(replies, ready.data(), ready.size()) != static_cast<long long>(ready.size())) return 0;

  for (;;) {
    uint8_t header[reader::kRequestHeaderSize];
    if (!readAll(requests, header, sizeof header)) return 0;  // the converter is done
    const uint32_t length = reader::readLe32(header + 4);
    if (reader::readLe32(header) != reader::kRequestMagic || length > reader::kMaxRequestPath) return kExitBadRequest;
    std::string path(length, '\0');
    if (!readAll(requests, path.data(), length)) return kExitBadRequest;

    injectFault(faults, path, memoryCap);
    mail::ImportResult result;
    try {
      // The digest is of the very bytes converted: a ledger compares them with the next run's.
      mail::MessageFileData data = mail::readMessageFile(platform::pathFromText(path));
      std::optional<mail::Sha256Digest> digest;
      if (digests && data.reason.empty()) digest = mail::Sha256Of(data.bytes.get(), data.bytes ? data.size : 0);
      result = mail::importMessageData(std::move(data));
      result.sha256 = digest;
    } catch (const std::bad_alloc&) {
      outOfMemory();
    } catch (const std::exception& e) {
      result = mail::ImportResult{};
      result.reason = e.what();
    }
    const reader::Encoding encoding(result);
    if (!writeReply(replies, reader::replyHeader(encoding.size()), encoding)) return 0;
  }
}
