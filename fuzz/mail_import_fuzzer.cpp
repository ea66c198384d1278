// Any bytes given to the importer must come back as a message or a reason, never a crash,
// a hang or a message without the properties every list view reads.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/message_checks.h"
#include "mail/encoded_words.h"
#include "mail/html_text.h"
#include "mail/importer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const mail::ImportResult result = mail::importMessageBytes(bytes, 130000000000000000ULL);
  if (result.ok) {
    fuzzing::checkMessage(result.message);
  } else if (result.reason.empty()) {
    std::abort();
  }
  // The text helpers also meet header and body text directly.
  if (size < 4096) {
    (void)mail::decodeHeaderText(bytes);
    (void)mail::htmlToText(bytes);
  }
  return 0;
}
