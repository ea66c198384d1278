#include "pst/messaging/content_check.h"

#include <cstdio>
#include <string>

namespace pst::messaging {

namespace {

// The PropValue alternative each type is given in (property.h); -1 for types not accepted.
int expectedIndex(PropType type) {
  switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::ErrorCode: return 0;
    case PropType::Int64:
    case PropType::Currency: return 1;
    case PropType::Time: return 2;
    case PropType::Float:
    case PropType::Double:
    case PropType::AppTime: return 3;
    case PropType::String8:
    case PropType::Unicode: return 4;
    case PropType::Binary: return 5;
    case PropType::Guid: return 6;
    case PropType::MvInt32: return 7;
    case PropType::MvUnicode: return 8;
    case PropType::MvBinary: return 9;
    default: return -1;
  }
}

void checkProperty(PropTag tag, const PropValue& value, const char* where) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", tag);
  const int expected = expectedIndex(tagType(tag));
  if (expected < 0)
    throw Error(std::string("The ") + where + " property " + text + " has a type that cannot be stored; leave it out.");
  if (static_cast<int>(value.index()) != expected)
    throw Error(std::string("The ") + where + " property " + text + " holds a value of the wrong kind for its type.");
}

void check(const MessageContent& m, int depth) {
  if (depth > kMaxEmbeddingDepth)
    throw Error("A message nests attached messages more than " + std::to_string(kMaxEmbeddingDepth) +
                " levels deep; it cannot be stored.");
  for (const auto& p : m.props) checkProperty(p.tag, p.value, "message");
  for (const auto& n : m.named) checkProperty(makeTag(0x8000, n.type), n.value, "named");
  for (const auto& row : m.recipients)
    for (const auto& p : row) checkProperty(p.tag, p.value, "recipient");
  for (const auto& a : m.attachments) {
    for (const auto& p : a.props) checkProperty(p.tag, p.value, "attachment");
    if (a.embedded) check(*a.embedded, depth + 1);
  }
}

}  // namespace

void checkContent(const MessageContent& message) { check(message, 0); }

}  // namespace pst::messaging
