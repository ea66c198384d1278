// The real dialogs: Qt's message box, Open File dialog and folder browser.
#pragma once

#include "shellutil/dialogs.h"

namespace shellutil {

class QtDialogs : public Dialogs {
 public:
  int messageBox(QWidget* owner, const QString& text, int style, const QString& title) override;
  QStringList openFiles(QWidget* owner, const OpenFileRequest& request) override;
  QString browseForFolder(QWidget* owner, const QString& title) override;
  void shellOpen(const QString& target) override;
};

}  // namespace shellutil
