// The add-folder command: lists every message file below a chosen folder.
#include <QElapsedTimer>
#include <QLabel>
#include <memory>

#include "app/busy_cursor.h"
#include "app/main_window.h"
#include "messagelist/native_path.h"
#include "messagelist/message_filter.h"
#include "messagelist/path_logger.h"
#include "shellutil/error_text.h"
#include "ui_frmStep1.h"

using shellutil::kAppTitle;

namespace {

// While the tree is searched, the counter line says how far the search got: on a large
// store the search alone takes minutes. The line gets its own text back however the
// search ends.
class SearchProgressLine {
 public:
  explicit SearchProgressLine(QLabel* line) : line_(line), kept_(line->text()) {}
  ~SearchProgressLine() { line_->setText(kept_); }
  SearchProgressLine(const SearchProgressLine&) = delete;
  SearchProgressLine& operator=(const SearchProgressLine&) = delete;

  void show(int32_t folders, int32_t files) {
    // Laying out the label anew for each of a million folders would cost more than
    // listing them; a few updates a second are all the eye can follow.
    if (shown_.isValid() && shown_.elapsed() < kUpdateIntervalMs) return;
    shown_.start();
    line_->setText(QStringLiteral("%1 - searching the folder: %2 files found in %3 folders...")
                       .arg(kept_)
                       .arg(files)
                       .arg(folders));
  }

 private:
  static constexpr int kUpdateIntervalMs = 100;
  QLabel* line_;
  QString kept_;
  QElapsedTimer shown_;
};

QString unreadableFoldersText(int32_t count) {
  const QString folders = count == 1 ? QStringLiteral("1 folder") : QStringLiteral("%1 folders").arg(count);
  return QStringLiteral(
             "%1 could not be read, so the messages in %2 are not in the list.\r\n"
             "Make sure you may read every folder of the message store, then clear the list and add the "
             "folder again.")
      .arg(folders, count == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

}  // namespace

void frmStep1::CmdAddFolder_Click() {
  const QString chosen = dialogs_.browseForFolder(this, QStringLiteral("Choose Source Folder..."));
  if (chosen.isEmpty()) return;
  FolderAddition tally;
  {
    app::BusyCursor busy;
    addFolderTree(messagelist::nativePathFromText(chosen), tally);
  }
  reportFolderAddition(tally);
}

void frmStep1::addFolderTree(const std::string& folder, FolderAddition& tally) {
  const std::string start = messagelist::EnsureTrailingSeparator(folder);
  std::shared_ptr<messagelist::StringKeyedList> found;
  {
    SearchProgressLine progress(ui_->lblCount1);
    messagelist::pathLogger scanner;
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(true);
    scanner.setProgressHandler([&](int32_t folders, int32_t files) {
      progress.show(folders, files);
      yieldToEvents();
    });
    scanner.LogPath(start);
    found = scanner.fullFileNames();
    tally.unreadableFolders += scanner.skippedFolders();
    scanner.Terminate();
  }
  try {
    for (const std::string& entry : *found) {
      yieldToEvents();
      if (!messagelist::IsMessageFileName(entry)) continue;
      yieldToEvents();
      AddFileToList(messagelist::textFromNativePath(entry));
      ++tally.added;
    }
  } catch (const std::exception&) {
    // The rows added before the failure stay listed and can be converted.
    if (tally.added > 0) setConvertEnabled(true);
    throw;
  }
}

void frmStep1::reportFolderAddition(const FolderAddition& tally) {
  setConvertEnabled(tally.added > 0);
  dialogs_.messageBox(this, QStringLiteral("%1 Files Added to List.").arg(tally.added), shellutil::vbOKOnly,
                      kAppTitle);
  if (tally.unreadableFolders > 0)
    dialogs_.messageBox(this, unreadableFoldersText(tally.unreadableFolders), shellutil::vbExclamation, kAppTitle);
}
