// The whole way of one message file through the converter, in one process: bytes, importer,
// the reader's encoding and its decoding, PST writer (a store of its own in a temporary file,
// closed), strict verifier. Whatever the bytes, the importer gives a message or a reason, the
// store takes the message or refuses it whole, and the file that results has no error.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "fuzz/message_checks.h"
#include "mail/importer.h"
#include "pst/messaging/store.h"
#include "pst/verify/verify.h"
#include "reader/message_codec.h"

namespace {

using pst::messaging::MessageContent;

// The step between reading and writing: the message crosses from a reader process to the
// writer as bytes, encoded there and decoded here. Whatever the importer produced must come
// back whole.
MessageContent carryToWriter(const mail::ImportResult& result) {
  std::string bytes;
  reader::encodeImportResult(result, bytes);
  std::string error;
  std::optional<mail::ImportResult> decoded = reader::decodeImportResult(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), size_t{1} << 31, &error);
  if (!decoded || !decoded->ok) {
    std::fprintf(stderr, "the reader's encoding did not decode: %s\n", error.c_str());
    std::abort();
  }
  return std::move(decoded->message);
}

// A folder of its own for each store, removed as soon as the store is verified: libFuzzer
// ends a run without exit handlers, so nothing may wait for the process to end.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorel-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
};

void writeAndVerify(const MessageContent& message) {
  const ScratchFolder scratch;
  const std::filesystem::path file = scratch.path / "message.pst";
  {
    auto store = pst::messaging::Store::create(file, "Fuzzing");
    const auto folder = store->createFolder(store->ipmSubtree(), "Inbox");
    try {
      store->addMessage(folder, message);
    } catch (const pst::Error&) {
      // Refused whole: the store must stay as valid as without the message.
    }
    store->close();
  }
  const pst::verify::Findings findings = pst::verify::verifyFile(file);
  if (findings.errorCount() == 0) return;
  for (const auto& finding : findings.items) {
    std::fprintf(stderr, "pst-verify: %s: %s\n", finding.where.c_str(), finding.message.c_str());
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mail::ImportResult result = mail::importMessageBytes(bytes, 130000000000000000ULL);
  if (!result.ok) {
    if (result.reason.empty()) std::abort();
    return 0;
  }
  fuzzing::checkMessage(result.message);
  writeAndVerify(carryToWriter(result));
  return 0;
}
