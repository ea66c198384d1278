// The conversion run behind the convert button.
#include <QProgressBar>
#include <cstdio>

#include "app/grid_row_source.h"
#include "app/main_window.h"
#include "app/window_run_view.h"
#include "messagelist/native_path.h"
#include "messagelist/path_logger.h"
#include "ui_frmStep1.h"

namespace {

QString boxText(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void frmStep1::CmdExtractDBX_Click() {
  QString chosen = dialogs_.browseForFolder(this, QStringLiteral("Choose Folder to Save..."));
  if (chosen.isEmpty()) return;
  const std::string outputFolder = messagelist::EnsureTrailingSeparator(messagelist::nativePathFromText(chosen));
  yieldToEvents();
  for (QProgressBar* bar : {ui_->ProgressBar1, ui_->ProgressBar2}) {
    bar->setMinimum(0);
    bar->setMaximum(100);
  }
  yieldToEvents();

  conversion::RunOutcome outcome;
  conversionRunning_ = true;
  stopRequested_ = false;
  try {
    app::GridRowSource rows(*grid_);
    app::WindowRunView view(*this);
    conversion::RunSettings settings;
    settings.outputFolder = outputFolder;
    settings.skippedWhenListed = listingSkipped_;
    outcome = conversion::runConversion(rows, settings, view, runState_);
    conversionRunning_ = false;
  } catch (...) {
    conversionRunning_ = false;
    // A close asked for during the run is carried out whatever became of the run.
    if (stopRequested_) close();
    throw;
  }
  folderList_.clear();
  for (const std::string& folder : runState_.folderList) folderList_ << messagelist::textFromNativePath(folder);

  if (stopRequested_) {
    // The user closed the window during the run: the file is complete, and the program
    // ends now as asked. The outcome still goes where a user starting it from a
    // terminal can read it.
    std::fprintf(stderr, "%s\n", conversion::doneBoxText(outcome).c_str());
    close();
    return;
  }
  showConversionOutcome(outcome);
}

void frmStep1::showConversionOutcome(const conversion::RunOutcome& outcome) {
  using Result = conversion::RunOutcome::Result;
  switch (outcome.result) {
    case Result::Done:
      dialogs_.messageBox(this, boxText(conversion::doneBoxText(outcome)), shellutil::vbInformation,
                          QString::fromLatin1(conversion::kDoneBoxTitle));
      break;
    case Result::PreparationFailed:
      dialogs_.messageBox(this, boxText(conversion::preparationFailureBoxText(outcome.failureCause)),
                          shellutil::vbInformation, QString::fromLatin1(conversion::kFailureBoxTitle));
      break;
    case Result::EmptyList:
      dialogs_.messageBox(this, boxText(conversion::emptyListBoxText()), shellutil::vbExclamation,
                          QString::fromLatin1(conversion::kEmptyListBoxTitle));
      break;
    case Result::WriteFailed:
      dialogs_.messageBox(this, boxText(conversion::writeFailureBoxText(outcome.failureCause)),
                          shellutil::vbExclamation, QString::fromLatin1(conversion::kWriteFailureBoxTitle));
      break;
    case Result::ReadersFailed:
      dialogs_.messageBox(this, boxText(conversion::readerFailureBoxText(outcome.failureCause)),
                          shellutil::vbExclamation, QString::fromLatin1(conversion::kReaderFailureBoxTitle));
      break;
  }
}
