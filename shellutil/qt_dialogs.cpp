#include "shellutil/qt_dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "shellutil/registry.h"

namespace shellutil {
namespace {

QMessageBox::StandardButton standardButton(int code) {
  switch (code) {
    case vbOK: return QMessageBox::Ok;
    case vbCancel: return QMessageBox::Cancel;
    case vbAbort: return QMessageBox::Abort;
    case vbRetry: return QMessageBox::Retry;
    case vbIgnore: return QMessageBox::Ignore;
    case vbYes: return QMessageBox::Yes;
    case vbNo: return QMessageBox::No;
    default: return QMessageBox::NoButton;
  }
}

QMessageBox::Icon qtIcon(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::Critical: return QMessageBox::Critical;
    case MsgBoxIcon::Question: return QMessageBox::Question;
    case MsgBoxIcon::Exclamation: return QMessageBox::Warning;
    case MsgBoxIcon::Information: return QMessageBox::Information;
    case MsgBoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int QtDialogs::messageBox(QWidget* owner, const QString& text, int style, const QString& title) {
  const MsgBoxParts parts = decodeStyle(style);
  QMessageBox box(owner);
  box.setWindowTitle(title);
  // Texts use Windows line breaks; a label would show the carriage return.
  box.setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(qtIcon(parts.icon));
  QAbstractButton* buttons[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < parts.buttonCount; ++i) buttons[i] = box.addButton(standardButton(parts.buttons[i]));
  for (int i = 0; i < parts.buttonCount; ++i) {
    if (parts.buttons[i] == parts.defaultButton) box.setDefaultButton(static_cast<QPushButton*>(buttons[i]));
    if (parts.buttons[i] == parts.escapeButton) box.setEscapeButton(buttons[i]);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (int i = 0; i < parts.buttonCount; ++i)
    if (clicked == buttons[i]) return parts.buttons[i];
  return parts.escapeButton;
}

QStringList QtDialogs::openFiles(QWidget* owner, const OpenFileRequest& request) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setNameFilter(request.filter);
  if (!request.initialFileName.isEmpty()) dialog.selectFile(request.initialFileName);
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList paths;
  for (const QString& p : dialog.selectedFiles()) paths << QDir::toNativeSeparators(p);
  return paths;
}

QString QtDialogs::browseForFolder(QWidget* owner, const QString& title) { return BrowseForFolder(owner, title); }

void QtDialogs::shellOpen(const QString& target) { ShellOpen(target); }

}  // namespace shellutil
