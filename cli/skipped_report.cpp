#include "cli/skipped_report.h"

#include <cerrno>
#include <cstring>

#include "cli/cli_options.h"
#include "cli/terminal_text.h"
#include "platform/console.h"
#include "platform/files.h"

namespace cli {

std::string SkippedText(const std::vector<conversion::SkippedEntry>& skipped, const std::filesystem::path& listFile) {
  std::string text;
  for (size_t i = 0; i < skipped.size() && i < kSkippedShown; ++i) {
    text += std::string(kProgram) + ": skipped " + ShownPath(skipped[i].path) + ": " +
            EscapeControls(skipped[i].reason) + "\n";
  }
  if (skipped.size() > kSkippedShown) {
    const std::string where = listFile.empty() ? "; --skipped-list FILE lists them all"
                                               : "; all are listed in " + ShownPath(listFile.string());
    text += std::string(kProgram) + ": and " + std::to_string(skipped.size() - kSkippedShown) + " more" + where + "\n";
  }
  return text;
}

void PrintSkipped(std::FILE* out, const std::vector<conversion::SkippedEntry>& skipped,
                  const std::filesystem::path& listFile) {
  platform::writeText(out, SkippedText(skipped, listFile));
}

bool SkippedListFile::open(const std::filesystem::path& path, std::string& problem) {
  path_ = path;
  file_ = platform::openStream(path, "w");
  if (!file_) problem = "cannot write the skipped list " + ShownPath(path.string()) + ": " + std::strerror(errno);
  return file_ != nullptr;
}

bool SkippedListFile::write(const std::vector<conversion::SkippedEntry>& skipped, std::string& problem) {
  if (!file_) return true;
  for (const conversion::SkippedEntry& entry : skipped) {
    std::fprintf(file_, "%s\t%s\n", ShownPath(entry.path).c_str(), EscapeControls(entry.reason).c_str());
  }
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const int error = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (written && closed) return true;
  problem = "the skipped list " + ShownPath(path_.string()) + " could not be completed: " +
            std::strerror(written ? errno : error);
  return false;
}

SkippedListFile::~SkippedListFile() {
  if (file_) std::fclose(file_);
}

}  // namespace cli
