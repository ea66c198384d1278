#include "conversion/pst_file_name.h"

#include <cstdio>

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

}  // namespace conversion
