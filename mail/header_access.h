// Raw header values of a GMime object. Values are taken raw (still folded and encoded) so
// decoding stays under our control.
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <vector>

namespace mail {

// The first field of that name (case-insensitive), raw.
std::optional<std::string> rawHeader(GMimeObject* object, const char* name);

// Every field of that name, in order of appearance.
std::vector<std::string> rawHeaders(GMimeObject* object, const char* name);

// The first field's value, unfolded, decoded and trimmed; empty when absent.
std::string headerText(GMimeObject* object, const char* name, std::string_view likelyCharset = {});

// The whole header block as text with CRLF line ends, as Outlook shows "Internet headers".
std::string headerBlockText(GMimeObject* object, std::string_view likelyCharset = {});

}  // namespace mail
