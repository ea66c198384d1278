// The main window `frmStep1`: its lifecycle, the shell commands and the
// services the list and conversion commands run with.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

#include "conversion/engine.h"
#include "messagelist/message_grid.h"
#include "shellutil/dialogs.h"

namespace Ui {
class frmStep1;
}

// Thrown out of yieldToEvents() when the window was closed during the yield, so
// the running command stops there. Deliberately not a std::exception: steps that
// skip their own failures must not swallow it.
struct WindowClosed {};

class frmStep1 : public QWidget {
  Q_OBJECT

 public:
  static inline const QString kHelpPageAddress = QStringLiteral("https://vantorel.org/help/");

  // `dialogs` serves every modal interaction; the window does not own it.
  explicit frmStep1(shellutil::Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmStep1() override;

  // The window's controls, by their design names.
  Ui::frmStep1& ui() { return *ui_; }
  messagelist::MessageGrid& grid() { return *grid_; }
  shellutil::Dialogs& cdlgFile() { return dialogs_; }
  // The conversion run's folder list; one empty entry after load and reset. Mirrors
  // runState().folderList after each run.
  QStringList& folderList() { return folderList_; }
  // What the conversion run keeps between runs.
  conversion::RunState& runState() { return runState_; }

  void AddFileToList(const QString& path);
  void ResetFileList();
  void setConvertEnabled(bool enabled);

  // Lets the window repaint and serve clicks in the middle of a long command.
  // Pending events are served at most every kYieldIntervalMs: a repaint per
  // row would make a long list take a thousand times longer to add, while the
  // window answers just as quickly to the user. Throws WindowClosed when the
  // window was closed meanwhile.
  static constexpr int kYieldIntervalMs = 15;
  void yieldToEvents();
  // The same without the throw, for the conversion run: a close during a run does not
  // end it at once but asks it to stop after the current message (stopRequested), and
  // the window closes when the run is over.
  void serveEvents();
  bool conversionRunning() const { return conversionRunning_; }
  bool stopRequested() const { return stopRequested_; }
  // True while a list or conversion command runs; further clicks on them are
  // refused without a message until it ends.
  bool commandRunning() const { return commandRunning_; }
  bool closing() const { return closing_; }

 signals:
  // The window was closed by any means: the program is to end.
  void unloaded();

 public:
  // Click handlers. Clicks on the list and conversion buttons reach them
  // through the command guard.
  void cmdAdd_Click();
  void cmdClear1_Click();
  void CmdAddFolder_Click();
  void CmdExtractDBX_Click();
  void cmdEnd_Click();
  void CmdHelp_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Files and folders dragged from a file manager: added as the add-files and add-folder
  // commands add them. Refused while a command runs.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // What one add-folder command or drop added.
  struct FolderAddition {
    int32_t added = 0;  // rows appended
    // What the scan found but could not list: folders it could not read, message files it
    // cannot read at all.
    std::vector<conversion::SkippedEntry> notListed;
  };

  void Form_Initialize();
  void Form_Load();
  void centerOnScreen();
  void drawFrameCaptionOnBorder();
  void runCommand(const std::function<void()>& command);
  // Appends every message file below `folder` (native path) in the scanner's order, with the
  // counter line showing the search; the caller holds the busy cursor.
  void addFolderTree(const std::string& folder, FolderAddition& tally);
  // Sets the convert button by what was added and says how much in a box.
  void reportFolderAddition(const FolderAddition& tally);
  void addDroppedPaths(const QList<QUrl>& urls);
  void showConversionOutcome(const conversion::RunOutcome& outcome);

  std::unique_ptr<Ui::frmStep1> ui_;
  shellutil::Dialogs& dialogs_;
  std::unique_ptr<messagelist::MessageGrid> grid_;
  QStringList folderList_;
  conversion::RunState runState_;
  // What the add-folder commands found but could not list since the list was last cleared.
  std::vector<conversion::SkippedEntry> listingSkipped_;
  bool conversionRunning_ = false;
  bool stopRequested_ = false;
  bool commandRunning_ = false;
  bool closing_ = false;
  QElapsedTimer sinceYield_;
};
