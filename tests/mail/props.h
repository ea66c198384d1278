// Reading the importer's output in tests: property lookup by tag, with readable failures.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mail/importer.h"
#include "mail/tags.h"

namespace mailtest {

using pst::Property;
using pst::PropTag;

inline const Property* find(const std::vector<Property>& props, PropTag tag) {
  for (const auto& prop : props) {
    if (prop.tag == tag) return &prop;
  }
  return nullptr;
}

inline std::optional<std::string> text(const std::vector<Property>& props, PropTag tag) {
  const Property* prop = find(props, tag);
  if (!prop) return std::nullopt;
  return std::get<std::string>(prop->value);
}

inline std::optional<int32_t> number(const std::vector<Property>& props, PropTag tag) {
  const Property* prop = find(props, tag);
  if (!prop) return std::nullopt;
  return std::get<int32_t>(prop->value);
}

inline std::optional<uint64_t> time(const std::vector<Property>& props, PropTag tag) {
  const Property* prop = find(props, tag);
  if (!prop) return std::nullopt;
  return std::get<uint64_t>(prop->value);
}

inline std::optional<pst::Bytes> bytes(const std::vector<Property>& props, PropTag tag) {
  const Property* prop = find(props, tag);
  if (!prop) return std::nullopt;
  return std::get<pst::Bytes>(prop->value);
}

inline std::string bytesAsText(const pst::Bytes& data) { return std::string(data.begin(), data.end()); }

// FILETIME of a UTC calendar second, for readable expectations.
inline uint64_t fileTime(int64_t unixSeconds) { return static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL; }

inline std::vector<std::string> recipientAddresses(const pst::messaging::MessageContent& message, int32_t type) {
  std::vector<std::string> out;
  for (const auto& row : message.recipients) {
    if (number(row, mail::tags::PidTagRecipientType) == type) out.push_back(text(row, mail::tags::PidTagEmailAddress).value_or("?"));
  }
  return out;
}

inline mail::ImportResult importText(const std::string& message, uint64_t fallback = 133000000000000000ULL) {
  return mail::importMessageBytes(message, fallback);
}

}  // namespace mailtest
