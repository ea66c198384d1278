// Why an entry found in a folder, or a path named on its own, is no message file that can be
// read: the reasons the scan reports for what it cannot list.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/file_status.h"

namespace messagelist {

// The longest path the system opens (PATH_MAX less its terminating zero).
inline constexpr size_t kLongestPath = 4095;

// "not a regular file (a named pipe)" and the like, for anything that is neither a regular
// file nor a folder.
std::string notRegularFileReason(platform::FileKind kind);
// For a link that could not be followed: `error` from following it, `target` what it holds.
std::string brokenLinkReason(int error, const std::string& target);
std::string tooLongReason(size_t length);
std::string unreadableFolderReason(int error, bool partly);

// For a path named on its own, as on the command line: the reason it cannot be read as a
// message file, or nothing when it can be tried (a regular file, a folder, or a name that
// does not exist at all, which the import reports itself).
std::optional<std::string> UnusableFileReason(const std::string& path);

}  // namespace messagelist
