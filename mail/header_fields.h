// The header fields of one message: raw names and raw values (still folded and encoded, line
// ends included), in the order they appear. The importer reads a message's own header block
// itself and hands GMime only the MIME fields: GMime parses every address field and decodes the
// subject as it reads them, which for hostile fields costs its whole stack (nested groups) or
// several copies of a field that is megabytes long.
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

class HeaderFields {
 public:
  struct Field {
    std::string_view rawName;  // as written, blanks before the colon included
    std::string_view name;     // without them
    std::string_view value;    // everything after the colon, continuation lines and line ends included
    // A damaged line kept with the header block (see detectMessage): no name, the whole text
    // in `value`.
    bool damaged = false;
  };

  // The fields of a header block as detectMessage delimits it.
  static HeaderFields parse(std::string_view block);
  // The fields GMime read for `object` (an embedded message), markers of header_guard undone.
  static HeaderFields of(GMimeObject* object);

  size_t size() const { return spans_.size(); }
  Field at(size_t index) const;
  // The first field of that name (case-insensitive).
  std::optional<std::string_view> first(std::string_view name) const;
  // Every field of that name, in order.
  std::vector<std::string_view> all(std::string_view name) const;
  // Bytes held, for the header text built from the fields.
  size_t textSize() const { return text_.size(); }

 private:
  struct Span {
    size_t start = 0;       // of the raw name in text_
    size_t rawNameLength = 0;
    size_t nameLength = 0;
    size_t valueStart = 0;  // in text_
    size_t valueLength = 0;
    bool damaged = false;
  };
  void add(std::string_view rawName, std::string_view value, bool damaged = false);

  std::string text_;
  std::vector<Span> spans_;
};

// Whether a field of this name describes the MIME structure (Content-Type and the other
// Content-* fields): the only top-level fields GMime is given.
bool isMimeField(std::string_view name);

}  // namespace mail
