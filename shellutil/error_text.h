// The text of the box that reports a failed command: "number:description".
#pragma once

#include <QString>
#include <exception>

namespace shellutil {

// Dialog failures keep their own number; other failures get a number and a
// description that tells the user what to do next.
QString errorBoxText(const std::exception& error);

}  // namespace shellutil
