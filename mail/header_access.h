// Raw header values of a message or a MIME part. Values are taken raw (still folded and
// encoded) so decoding stays under our control.
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/header_fields.h"

namespace mail {

// The first field of that name (case-insensitive) of a MIME part, raw.
std::optional<std::string> rawHeader(GMimeObject* object, const char* name);

// The first field's value, unfolded, decoded and trimmed; empty when absent.
std::string headerText(GMimeObject* object, const char* name, std::string_view likelyCharset = {});
std::string headerText(const HeaderFields& fields, const char* name, std::string_view likelyCharset = {});

// The whole header block as text with CRLF line ends, as Outlook shows "Internet headers".
std::string headerBlockText(const HeaderFields& fields, std::string_view likelyCharset = {});

}  // namespace mail
