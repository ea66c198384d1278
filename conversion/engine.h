// The conversion run shared by the window and the command-line converter: preparation,
// folder pass, message pass and finish. The front end chooses the output folder and shows
// the boxes; the engine drives everything else through RunView.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/message_status.h"

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
  // A PST file was completed under its final name (each part of a size-limited run in turn).
  virtual void pstCompleted(const std::filesystem::path& file) { (void)file; }
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
    ReadersFailed,      // no message could be read, so no file was made: readerFailureBoxText(failureCause)
  };
  Result result = Result::Done;
  std::filesystem::path pstPath;  // the completed file (with a size limit: its first part)
  std::vector<std::filesystem::path> pstParts;  // every completed file, in order
  std::string failureCause;       // e.g. "cannot create /out/Vantorel7.6.12 21.5.04.pst.part: Permission denied"
  size_t listed = 0;    // rows holding a path when the message pass began
  size_t imported = 0;  // messages in the completed files
  // Every skipped entry, in list order, then those of a file that could not be completed and
  // those the run ended before (a write failure; a stop with accountForStop): each listed file
  // is either in a completed file or here.
  std::vector<SkippedEntry> skipped;
  bool stopped = false;               // the pass ended early on stopRequested()
  size_t markedDeleted = 0;           // converted messages the server had marked for deletion
  std::vector<std::string> warnings;  // for the user: a PST past Outlook's size limit, a message stored alone
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

  // The PST file's name without ".pst" and the store's display name; empty: "Vantorel" and
  // "MDaemon Messages : Created - ", each followed by the time.
  std::string pstName{};
  std::string storeDisplayName{};
  // Follows the PST file's name, before any " (part n)": " (delta 2026-12-08)".
  std::string pstNameSuffix{};
  // The folder inside the store of a listed entry, components joined by "\" (with `reason`
  // set when there is none); unset: its folders below its drive root (FolderPathOf).
  std::function<std::optional<std::string>(std::string_view entry, std::string* reason)> folderPathOf{};
  // The state a listed file's message had on the mail server; unset: every message is stored
  // as read.
  std::function<MessageStatus(const std::string& entry)> messageStatus{};
  // The largest a PST file may become, in bytes; 0 for no limit. Before a message would take
  // the file past it, the file is completed and the run goes on in "<name> (part 2).pst" and
  // so on, each part holding the folders its messages need. A message larger than the limit
  // goes alone into a part of its own.
  uint64_t maxPstSize = 0;
  // For the command line, whose summary must add up: a stop lists every row not converted
  // among the skipped ("not converted: the run was stopped"), and a run stopped before its
  // first message leaves no file at all.
  bool accountForStop = false;
  // For a record of what went where (a ledger): told of each file once it is saved in the
  // store, with the folder it went to and the SHA-256 of the bytes converted (when its reader
  // reckoned it), and of each PST file once it is complete under its final name; the files told
  // of since the PST before are in it. Files of a PST that could not be completed are followed
  // by no pstCompleted.
  std::function<void(const std::string& file, const std::string& folder,
                     const std::optional<std::array<uint8_t, 32>>& digest)>
      fileSaved{};
  std::function<void(const std::filesystem::path& pst)> pstCompleted{};
};

// Outlook's default limit for a Unicode PST (larger files need a setting of Outlook's); a file
// that passes it is completed all the same, with a warning.
inline constexpr uint64_t kOutlookDefaultPstLimit = 50ull << 30;  // MaxLargeFileSize, 51,200 MB

// Runs preparation, folder pass, message pass and finish over `rows`.
RunOutcome runConversion(const RowSource& rows, const RunSettings& settings, RunView& view,
                         RunState& state);

// The texts of the final boxes, shared by both front ends.
std::string doneBoxText(const RunOutcome& outcome);            // "Conversion Done !" first
std::string preparationFailureBoxText(const std::string& cause);  // title "Outlook Error"
std::string emptyListBoxText();                                   // title "Vantorel"
std::string writeFailureBoxText(const std::string& cause);        // title "Vantorel"
std::string readerFailureBoxText(const std::string& cause);       // title "Vantorel"
// The first `shown` skipped entries as "path - reason" lines, then "and N more." if need be.
std::string skippedLines(const std::vector<SkippedEntry>& skipped, size_t shown);
// Skipped entries that are folders (their paths end in the separator).
size_t skippedFolderCount(const std::vector<SkippedEntry>& skipped);
inline constexpr const char* kDoneBoxTitle = "Vantorel";
inline constexpr const char* kFailureBoxTitle = "Outlook Error";
inline constexpr const char* kEmptyListBoxTitle = "Vantorel";
inline constexpr const char* kWriteFailureBoxTitle = "Vantorel";
inline constexpr const char* kReaderFailureBoxTitle = "Vantorel";

}  // namespace conversion
