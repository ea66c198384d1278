// Splits a subject into the reply/forward prefix Outlook sorts by and the normalized rest.
#pragma once

#include <string>
#include <string_view>

namespace mail {

struct SubjectParts {
  std::string prefix;      // e.g. "RE: ", empty when the subject has none
  std::string normalized;  // the subject without the prefix
};

// A prefix is one to three characters other than colon, blank or digit, then a colon and
// blanks: "Re: x" -> ("Re: ", "x"); "Subject: 10:30" has no prefix of that form.
SubjectParts splitSubject(std::string_view subject);

}  // namespace mail
