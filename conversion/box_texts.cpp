// The texts of the boxes that end a conversion run.
#include <string>

#include "conversion/engine.h"

namespace conversion {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr size_t kSkippedShown = 10;
constexpr const char* kHelpAddress = "https://vantorel.org/help/#troubleshooting";

std::string counted(size_t n, const std::string& noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

}  // namespace

std::string doneBoxText(const RunOutcome& outcome) {
  std::string text = "Conversion Done !";
  if (!outcome.pstPath.empty()) text += kLineBreak + ("Saved as " + outcome.pstPath.string());
  if (outcome.stopped) {
    text += kLineBreak + ("Stopped on request: " + std::to_string(outcome.imported) + " of " +
                          std::to_string(outcome.listed) + " listed files were converted; the file holds them all.");
  }
  if (!outcome.skipped.empty()) {
    const size_t folders = skippedFolderCount(outcome.skipped);
    const size_t files = outcome.skipped.size() - folders;
    const std::string what =
        folders == 0 ? counted(files, "file") : files == 0 ? counted(folders, "folder")
                                                           : counted(folders, "folder") + " and " + counted(files, "file");
    text += kLineBreak + what + (outcome.skipped.size() == 1 ? " was" : " were") +
            " skipped and are not in the PST file:" + kLineBreak + skippedLines(outcome.skipped, kSkippedShown);
  }
  return text;
}

size_t skippedFolderCount(const std::vector<SkippedEntry>& skipped) {
  size_t folders = 0;
  for (const SkippedEntry& entry : skipped) folders += !entry.path.empty() && entry.path.back() == '/';
  return folders;
}

std::string skippedLines(const std::vector<SkippedEntry>& skipped, size_t shown) {
  std::string text;
  for (size_t i = 0; i < skipped.size() && i < shown; ++i) {
    if (i > 0) text += kLineBreak;
    text += skipped[i].path + " - " + skipped[i].reason;
  }
  if (skipped.size() > shown) text += kLineBreak + ("and " + std::to_string(skipped.size() - shown) + " more.");
  return text;
}

std::string preparationFailureBoxText(const std::string& cause) {
  std::string text = std::string("Outlook Session Creation Error !") + kLineBreak +
                     "Check if Outlook is installed and configured." + kLineBreak +
                     "For more details visit this link : " + kHelpAddress;
  if (!cause.empty()) text += kLineBreak + cause;
  return text;
}

std::string emptyListBoxText() {
  return "The list of message files is empty: add files or a folder of messages, then convert again.";
}

std::string writeFailureBoxText(const std::string& cause) {
  return std::string("The PST file could not be completed, so it holds no usable messages.") + kLineBreak + cause +
         kLineBreak + "Free disk space or choose another output folder, then convert again.";
}

std::string readerFailureBoxText(const std::string& cause) {
  return std::string("No message could be read, so nothing was converted and no PST file was made.") + kLineBreak +
         cause + kLineBreak +
         "Reinstall Vantorel if its reader program is missing or damaged, or close other programs if a limit was "
         "reached, then convert again.";
}

}  // namespace conversion
