// The decoded content of one MIME leaf part, read in chunks so a large attachment costs its
// decoded size once and never a second whole copy.
#pragma once

#include <gmime/gmime.h>

#include <string>

#include "pst/ltp/property.h"

namespace mail {

// Decodes the part's transfer encoding; an unknown encoding leaves the bytes as they are.
pst::Bytes decodedPartContent(GMimePart* part);

// The same as text bytes (still in the part's charset).
std::string decodedPartText(GMimePart* part);

// The bytes of any object as they appear in the message (for parts kept whole).
pst::Bytes serializedObject(GMimeObject* object);

}  // namespace mail
