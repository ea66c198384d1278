// A readable plain-text rendering of an HTML body, for mail that carries no text alternative.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// `html` is UTF-8. Tags are removed, script/style/head content dropped, block elements and
// <br> become line breaks, character references are decoded, runs of blanks collapse.
std::string htmlToText(std::string_view html);

}  // namespace mail
