#include "conversion/pst_file_name.h"

#include <cstdio>
#include <string_view>

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

std::string FittedFileName(const std::string& base, const std::string& suffix) {
  const size_t room = kLongestFileName - std::string_view(".part").size();
  if (base.size() + suffix.size() <= room) return base + suffix;
  size_t cut = suffix.size() < room ? room - suffix.size() : 0;
  // Back to the first byte of a character (UTF-8 continuation bytes are 10xxxxxx); a name
  // that is no UTF-8 loses at most three bytes more.
  for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80; ++back) --cut;
  return base.substr(0, cut) + suffix;
}

}  // namespace conversion
