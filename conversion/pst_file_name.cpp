#include "conversion/pst_file_name.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace conversion {

namespace fs = std::filesystem;

std::string FormatTimestamp(const std::tm& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d.%d.%02d %d.%d.%02d", t.tm_mday, t.tm_mon + 1,
                ((t.tm_year % 100) + 100) % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

std::string PstFileName(const std::string& timestamp) { return "Vantorel" + timestamp + ".pst"; }

std::string StoreDisplayName(const std::string& timestamp) {
  return "MDaemon Messages : Created - " + timestamp;
}

fs::path PartPath(const fs::path& pstPath) {
  fs::path part = pstPath;
  part += ".part";
  return part;
}

fs::path NumberedPath(const fs::path& pstPath, int n) {
  if (n < 2) return pstPath;
  fs::path numbered = pstPath.parent_path() / pstPath.stem();
  numbered += " (" + std::to_string(n) + ")";
  numbered += pstPath.extension();
  return numbered;
}

namespace {

bool nameExists(const fs::path& path) {
  std::error_code ec;
  // A dangling link still takes the name.
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

bool taken(const fs::path& candidate) { return nameExists(candidate) || nameExists(PartPath(candidate)); }

// 0 on success, otherwise errno; EEXIST when the target exists.
int renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot rename exclusively: a hard link fails just the same on a taken name.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

fs::path FreePstPath(const fs::path& pstPath) {
  for (int n = 1;; ++n) {
    const fs::path candidate = NumberedPath(pstPath, n);
    if (!taken(candidate)) return candidate;
  }
}

fs::path RenameWithoutReplacing(const fs::path& part, const fs::path& wanted) {
  for (int n = 1;; ++n) {
    const fs::path candidate = NumberedPath(wanted, n);
    const int err = renameNoReplace(part, candidate);
    if (err == 0) return candidate;
    if (err != EEXIST) {
      throw std::runtime_error("Cannot rename " + part.string() + " to " + candidate.string() + ": " +
                               std::strerror(err) + "; the completed file keeps its name " +
                               part.string() + ".");
    }
  }
}

}  // namespace conversion
