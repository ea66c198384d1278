// GMime parsing with the options every message here is read with: lenient about the usual
// faults of real mail, raw 8-bit text tried as UTF-8 and then windows-1252.
#pragma once

#include <gmime/gmime.h>

#include "pst/ltp/property.h"

namespace mail {

// Parses a message from `stream`; nullptr when GMime finds none. The caller owns the result.
GMimeMessage* parseMessageStream(GMimeStream* stream);

// The same for bytes in memory (an encoded message/rfc822 part, once decoded).
GMimeMessage* parseMessageBytes(const pst::Bytes& bytes);

}  // namespace mail
