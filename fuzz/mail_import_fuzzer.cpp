// Any bytes given to the importer must come back as a message or a reason, never a crash,
// a hang or a message without the properties every list view reads.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mail/encoded_words.h"
#include "mail/html_text.h"
#include "mail/importer.h"
#include "mail/tags.h"

namespace {

bool hasProperty(const pst::messaging::MessageContent& message, pst::PropTag tag) {
  for (const auto& prop : message.props) {
    if (prop.tag == tag) return true;
  }
  return false;
}

void checkMessage(const pst::messaging::MessageContent& message) {
  using namespace mail::tags;
  for (pst::PropTag tag : {PidTagMessageClass, PidTagMessageFlags, PidTagSubject, PidTagClientSubmitTime,
                           PidTagMessageDeliveryTime, PidTagSensitivity, PidTagImportance}) {
    if (!hasProperty(message, tag)) std::abort();
  }
  for (const auto& attachment : message.attachments) {
    if (attachment.embedded) checkMessage(*attachment.embedded);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const mail::ImportResult result = mail::importMessageBytes(bytes, 130000000000000000ULL);
  if (result.ok) {
    checkMessage(result.message);
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
