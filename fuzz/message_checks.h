// What every message the importer returns must carry, checked by the fuzz targets.
#pragma once

#include <glib.h>

#include <cstdlib>

#include "mail/tags.h"
#include "pst/messaging/message_content.h"

namespace fuzzing {

// A GLib warning or critical (an invalid cast, a failed check in GMime) means a part was
// handed to GMime as the wrong kind of object and its content was lost: a finding, like a crash.
struct FatalGLibWarnings {
  FatalGLibWarnings() {
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
  }
};
inline FatalGLibWarnings fatalGLibWarnings;

inline bool hasProperty(const pst::messaging::MessageContent& message, pst::PropTag tag) {
  for (const auto& prop : message.props) {
    if (prop.tag == tag) return true;
  }
  return false;
}

// Aborts (a finding) when a message lacks a property that every list view reads.
inline void checkMessage(const pst::messaging::MessageContent& message) {
  using namespace mail::tags;
  for (pst::PropTag tag : {PidTagMessageClass, PidTagMessageFlags, PidTagSubject, PidTagClientSubmitTime,
                           PidTagMessageDeliveryTime, PidTagSensitivity, PidTagImportance}) {
    if (!hasProperty(message, tag)) std::abort();
  }
  for (const auto& attachment : message.attachments) {
    if (attachment.embedded) checkMessage(*attachment.embedded);
  }
}

}  // namespace fuzzing
