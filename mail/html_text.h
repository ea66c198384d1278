// A readable plain-text rendering of an HTML body, for mail that carries no text alternative.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// `html` is UTF-8. Tags are removed, script/style/head content dropped, block elements and
// <br> become line breaks, character references are decoded, runs of blanks collapse.
std::string htmlToText(std::string_view html);

// The charset an HTML document names for itself in a <meta> tag near its start; empty if none.
std::string htmlDeclaredCharset(std::string_view html);

}  // namespace mail
