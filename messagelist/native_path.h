// File names as the file system holds them (bytes) and as the window shows them (text).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace messagelist {

// A name that is not valid UTF-8 (a folder copied from an old system, say) must still
// reach the converter byte for byte, or its messages could not be read. Each byte that
// is not part of a valid UTF-8 sequence is carried as the lone code unit U+DC80 + byte,
// which no valid name produces, and turned back into that byte on the way out.
QString textFromNativePath(std::string_view native);
std::string nativePathFromText(const QString& text);

}  // namespace messagelist
