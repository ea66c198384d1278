#include "pst/messaging/message_limits.h"

#include <cstdio>

#include "pst/ltp/value_codec.h"
#include "pst/messaging/property_tags.h"

namespace pst::messaging {
namespace {

std::string grouped(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

struct Part {
  uint64_t bytes = 0;
  std::string name;
};

std::string attachmentName(const AttachmentContent& a) {
  for (PropTag tag : {PropTag{0x3707001F}, PropTag{0x3704001F}, tags::kDisplayName})
    for (const auto& p : a.props)
      if (p.tag == tag)
        if (const auto* s = std::get_if<std::string>(&p.value); s && !s->empty()) return "\"" + *s + "\"";
  return "without a name";
}

std::string propertyName(PropTag tag) {
  switch (tagId(tag)) {
    case 0x1000: return "the text body (stored two bytes a character)";
    case 0x1013: return "the HTML body";
    case 0x1009: return "the rich-text body";
    case 0x007D: return "the Internet headers (stored two bytes a character)";
    default: return "property " + ltp::tagText(tag);
  }
}

// The stored bytes of every value of `m` (a lower bound of its stored size), noting the largest part.
uint64_t valueBytes(const MessageContent& m, Part& largest, const std::string& within) {
  uint64_t total = 0;
  auto note = [&](uint64_t bytes, const std::string& name) {
    total += bytes;
    if (bytes > largest.bytes) largest = {bytes, name};
  };
  for (const auto& p : m.props) note(ltp::encodedSize(p.tag, p.value), within + propertyName(p.tag));
  for (const auto& n : m.named) total += ltp::encodedSize(makeTag(0x8000, n.type), n.value);
  uint64_t recipients = 0;
  for (const auto& row : m.recipients)
    for (const auto& p : row) recipients += ltp::encodedSize(p.tag, p.value);
  note(recipients, within + "the " + grouped(m.recipients.size()) + " recipients");
  for (const auto& a : m.attachments) {
    const std::string name = within + "the attachment " + attachmentName(a);
    uint64_t bytes = 0;
    for (const auto& p : a.props) bytes += ltp::encodedSize(p.tag, p.value);
    if (a.embedded) {
      Part inner;
      bytes += valueBytes(*a.embedded, inner, name + ", ");
    }
    note(bytes, name);
  }
  return total;
}

std::string reasonFor(uint64_t stored, const Part& largest, bool atLeast) {
  std::string reason = "The message needs " + std::string(atLeast ? "at least " : "") + grouped(stored) +
                       " bytes in the PST file, more than the " +
                       grouped(kMaxMessageBytes) + " bytes (2 GiB) one message can hold";
  if (largest.bytes > 0) reason += "; the largest part is " + largest.name + ", " + grouped(largest.bytes) + " bytes";
  return reason + ".";
}

}  // namespace

void checkMessageFits(const MessageContent& message) {
  Part largest;
  const uint64_t bytes = valueBytes(message, largest, "");
  if (bytes > kMaxMessageBytes) throw Error(reasonFor(bytes, largest, true));
}

std::string tooLargeReason(uint64_t stored, const MessageContent& message) {
  Part largest;
  valueBytes(message, largest, "");
  return reasonFor(stored, largest, false);
}

}  // namespace pst::messaging
