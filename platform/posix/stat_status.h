// A stat result as the seam's FileStatus, shared by the POSIX files that look at files.
#pragma once

#include <sys/stat.h>

#include "platform/file_status.h"

namespace platform::posix {

FileStatus statusFromStat(const struct stat& info);

}  // namespace platform::posix
