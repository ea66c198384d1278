// Test stand-in for Dialogs: answers from a script and records what was shown.
#pragma once

#include <QList>
#include <QQueue>
#include <functional>
#include <variant>

#include "shellutil/dialogs.h"

namespace shellutil {

// One modal interaction as the user would have seen it.
struct Interaction {
  enum class Kind { MessageBox, OpenFiles, BrowseForFolder, ShellOpen };
  Kind kind = Kind::MessageBox;
  QString text;       // box text, the folder browser's title, or the shell target
  QString title;      // box title
  int style = 0;      // box style number
  OpenFileRequest request;  // for OpenFiles
  int answer = 0;     // what a box answered

  MsgBoxIcon icon() const { return decodeStyle(style).icon; }
  QString buttons() const { return buttonsName(style); }
  int defaultButton() const { return decodeStyle(style).defaultButton; }
};

class ScriptedDialogs : public Dialogs {
 public:
  // Answers are used first in, first out, each kind from its own queue. A box
  // without a scripted answer takes its default button (the user pressed
  // Enter); an unscripted Open dialog or folder browser is cancelled.
  void answerBox(int result) { boxAnswers_.enqueue(result); }
  void answerOpenFiles(const QStringList& paths) { fileAnswers_.enqueue(paths); }
  void failOpenFiles(const DialogError& error) { fileAnswers_.enqueue(error); }
  void answerFolder(const QString& path) { folderAnswers_.enqueue(path); }

  // Runs while a box is "open", before it answers: lets a test act during a
  // modal interaction, as a user clicking elsewhere would.
  std::function<void(const Interaction&)> whileShown;

  const QList<Interaction>& shown() const { return shown_; }
  QList<Interaction> boxes() const;
  void clear() { shown_.clear(); }

  int messageBox(QWidget* owner, const QString& text, int style, const QString& title) override;
  QStringList openFiles(QWidget* owner, const OpenFileRequest& request) override;
  QString browseForFolder(QWidget* owner, const QString& title) override;
  void shellOpen(const QString& target) override;

 private:
  QQueue<int> boxAnswers_;
  QQueue<std::variant<QStringList, DialogError>> fileAnswers_;
  QQueue<QString> folderAnswers_;
  QList<Interaction> shown_;
};

}  // namespace shellutil
