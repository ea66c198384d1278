// The texts of the boxes that end a conversion run.
#include <string>

#include "conversion/engine.h"

namespace conversion {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr size_t kSkippedShown = 10;
constexpr const char* kHelpAddress = "https://vantorel.org/help/#troubleshooting";

}  // namespace

std::string doneBoxText(const RunOutcome& outcome) {
  std::string text = "Conversion Done !";
  if (!outcome.pstPath.empty()) text += kLineBreak + ("Saved as " + outcome.pstPath.string());
  if (outcome.stopped) {
    text += kLineBreak + ("Stopped on request: " + std::to_string(outcome.imported) + " of " +
                          std::to_string(outcome.listed) + " listed files were converted; the file holds them all.");
  }
  if (!outcome.skipped.empty()) {
    const size_t count = outcome.skipped.size();
    text += kLineBreak + std::to_string(count) + (count == 1 ? " file was" : " files were") +
            " skipped and are not in the PST file:";
    for (size_t i = 0; i < count && i < kSkippedShown; ++i) {
      text += kLineBreak + outcome.skipped[i].path + " - " + outcome.skipped[i].reason;
    }
    if (count > kSkippedShown) text += kLineBreak + ("and " + std::to_string(count - kSkippedShown) + " more.");
  }
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

}  // namespace conversion
