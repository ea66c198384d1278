// The conversion run shared by the window and the command-line converter: preparation,
// folder pass, message pass and finish. The front end chooses the output folder and shows
// the boxes; the engine drives everything else through RunView.
#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace conversion {

class Session;              // the messaging session (conversion/messaging.h)
struct MessagingBackend;    // conversion/store_backend.h

// The rows of the message list. Read live: captions and progress read rows() anew.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual size_t rows() const = 0;
  virtual std::string text(size_t row) const = 0;  // UTF-8 native path, as listed
};

// The controls and services the run drives. The window implements it over its widgets,
// the command-line converter over stderr. Every member has a do-nothing default.
class RunView {
 public:
  virtual ~RunView() = default;
  // Serves pending window events. May set stopRequested() meanwhile.
  virtual void yield() {}
  virtual void setProgressRange(float minimum, float maximum) { (void)minimum, (void)maximum; }  // both bars
  virtual void setProgressPosition(float position) { (void)position; }  // ProgressBar1
  virtual void setFrameCaption(const std::string& caption) { (void)caption; }    // FrameConversion
  virtual void setCurrentCaption(const std::string& caption) { (void)caption; }  // LblCurrentDBX
  virtual void setConvertEnabled(bool enabled) { (void)enabled; }                // CmdExtractDBX
  virtual void selectRow(size_t row) { (void)row; }  // the grid cell (row, 0)
  // Checked after each message: true ends the message pass early; the store is still
  // completed and renamed, so nothing imported so far is lost.
  virtual bool stopRequested() const { return false; }
  // After each message, whatever became of it: `done` of the `total` rows fixed at the start
  // of the message pass. For front ends that show a rate or the time left.
  virtual void messageProgress(size_t done, size_t total) { (void)done, (void)total; }
};

// What the window keeps between runs.
struct RunState {
  std::filesystem::path outputFolder;
  std::string storeDisplayName;
  std::shared_ptr<Session> session;
  std::vector<std::string> folderList{std::string()};
};

struct SkippedEntry {
  std::string path;    // as listed
  std::string reason;  // for the user
};

struct RunOutcome {
  enum class Result {
    Done,               // "Conversion Done !" (possibly with skipped files, or stopped early)
    EmptyList,          // nothing listed: no file was created
    PreparationFailed,  // the "Outlook Error" box, with failureCause as its fourth line
    WriteFailed,        // the file could not be completed: writeFailureBoxText(failureCause)
  };
  Result result = Result::Done;
  std::filesystem::path pstPath;  // the completed file
  std::string failureCause;       // e.g. "cannot create /out/Vantorel7.6.12 21.5.04.pst.part: Permission denied"
  size_t listed = 0;    // rows holding a path when the message pass began
  size_t imported = 0;
  std::vector<SkippedEntry> skipped;  // every skipped entry, in list order
  bool stopped = false;               // the pass ended early on stopRequested()
};

struct RunSettings {
  std::filesystem::path outputFolder;  // chosen by the front end; need not end in a separator
  // Local time for the PST and store names; read once per name. Defaults to the clock.
  std::function<std::tm()> now;
  // Where stores are written and files imported; null for the PST writer and GMime importer.
  std::shared_ptr<const MessagingBackend> backend;
  // What the front end found but could not list (folders it could not read, message files it
  // cannot read at all): reported first among the skipped entries, so the run is not Done
  // without them.
  std::vector<SkippedEntry> skippedWhenListed{};
};

// Runs preparation, folder pass, message pass and finish over `rows`.
RunOutcome runConversion(const RowSource& rows, const RunSettings& settings, RunView& view,
                         RunState& state);

// The texts of the final boxes, shared by both front ends.
std::string doneBoxText(const RunOutcome& outcome);            // "Conversion Done !" first
std::string preparationFailureBoxText(const std::string& cause);  // title "Outlook Error"
std::string emptyListBoxText();                                   // title "Vantorel"
std::string writeFailureBoxText(const std::string& cause);        // title "Vantorel"
// The first `shown` skipped entries as "path - reason" lines, then "and N more." if need be.
std::string skippedLines(const std::vector<SkippedEntry>& skipped, size_t shown);
// Skipped entries that are folders (their paths end in the separator).
size_t skippedFolderCount(const std::vector<SkippedEntry>& skipped);
inline constexpr const char* kDoneBoxTitle = "Vantorel";
inline constexpr const char* kFailureBoxTitle = "Outlook Error";
inline constexpr const char* kEmptyListBoxTitle = "Vantorel";
inline constexpr const char* kWriteFailureBoxTitle = "Vantorel";

}  // namespace conversion
