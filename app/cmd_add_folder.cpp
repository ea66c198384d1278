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

constexpr size_t kSkippedShown = 10;

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

// The second box: everything found that cannot be listed, and why.
QString notListedText(const std::vector<conversion::SkippedEntry>& skipped) {
  const size_t folders = conversion::skippedFolderCount(skipped);
  const size_t files = skipped.size() - folders;
  QStringList parts;
  if (folders > 0)
    parts << (folders == 1 ? QStringLiteral("1 folder could not be read")
                           : QStringLiteral("%1 folders could not be read").arg(folders));
  if (files > 0)
    parts << (files == 1 ? QStringLiteral("1 message file cannot be read")
                         : QStringLiteral("%1 message files cannot be read").arg(files));
  return QStringLiteral("%1, so %2 not in the list:\r\n%3\r\n"
                        "Make sure you may read every folder and file of the message store, then clear the list "
                        "and add the folder again.")
      .arg(parts.join(QStringLiteral(" and ")),
           files == 0 ? (folders == 1 ? QStringLiteral("the messages in it are") : QStringLiteral("the messages in them are"))
                      : QStringLiteral("they are"),
           QString::fromStdString(conversion::skippedLines(skipped, kSkippedShown)));
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
    for (const messagelist::ScanSkip& skip : scanner.skipped()) {
      const bool isFolder = skip.path.back() == messagelist::kPathSeparator;
      if (isFolder || messagelist::IsMessageFileName(skip.path)) tally.notListed.push_back({skip.path, skip.reason});
    }
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
  // The run reports them again among its skipped files, so that its end says what is missing.
  listingSkipped_.insert(listingSkipped_.end(), tally.notListed.begin(), tally.notListed.end());
  setConvertEnabled(tally.added > 0);
  dialogs_.messageBox(this, QStringLiteral("%1 Files Added to List.").arg(tally.added), shellutil::vbOKOnly,
                      kAppTitle);
  if (!tally.notListed.empty())
    dialogs_.messageBox(this, notListedText(tally.notListed), shellutil::vbExclamation, kAppTitle);
}
