// The one interface through which the window shows anything modal: message boxes,
// the Open File dialog, the folder browser and the shell open request.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

#include "shellutil/message_box_style.h"

class QWidget;

namespace shellutil {

// The application title: the title of every box unless a command names another.
inline const QString kAppTitle = QStringLiteral("Vantorel");

// A dialog that failed instead of returning a choice. `number` follows the
// numbering the commands show to the user ("number:description").
class DialogError : public std::runtime_error {
 public:
  DialogError(int number, const QString& description, int limit = 0)
      : std::runtime_error(description.toStdString()), number(number), description(description), limit(limit) {}
  int number;
  QString description;
  int limit;  // for kSelectionTooLarge: how many files one pick may hold
};

// The selection did not fit the dialog (the common dialog's "buffer too small").
constexpr int kSelectionTooLarge = 20476;

// Settings of one Open File dialog, made anew before each use.
struct OpenFileRequest {
  QString initialFileName;
  QString filter;          // Qt form: "MDaemon Messages (*.msg)"
  bool multiSelect = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Modal box with `style` (a Windows message-box style number); returns the
  // MsgBoxResult of the button that closed it.
  virtual int messageBox(QWidget* owner, const QString& text, int style, const QString& title) = 0;

  // Modal Open dialog: the chosen paths in the dialog's order, or an empty list
  // when the user cancelled. Throws DialogError when the dialog itself fails.
  virtual QStringList openFiles(QWidget* owner, const OpenFileRequest& request) = 0;

  // Modal folder browser: see BrowseForFolder in registry.h for the result.
  virtual QString browseForFolder(QWidget* owner, const QString& title) = 0;

  // Hands a document or web address to the desktop; never reports a failure.
  virtual void shellOpen(const QString& target) = 0;
};

}  // namespace shellutil
