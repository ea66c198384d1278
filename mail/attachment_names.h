// File names for attachments: the name the sender gave, made safe for a file system, with the
// 8.3 short form and extension Outlook keeps beside it.
#pragma once

#include <gmime/gmime.h>

#include <string>
#include <string_view>

namespace mail {

// Content-Disposition filename, else Content-Type name, decoded; empty when neither is given.
std::string declaredFileName(GMimeObject* object);

// Drops path parts and characters no Windows file name may hold.
std::string sanitizeFileName(std::string_view name);

// ".pdf" for "report.pdf"; empty without a dot.
std::string fileExtension(std::string_view name);

// An 8.3 name such as "REPORT~1.PDF" (the long name itself when it already fits).
std::string shortFileName(std::string_view longName);

// "ATT00003.txt"-style name for a part that gave none, the extension from its MIME type.
std::string fallbackFileName(std::string_view mimeType, int index);

}  // namespace mail
