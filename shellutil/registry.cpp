#include "shellutil/registry.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>
#include <exception>

namespace shellutil {

QString chosenFolderPath(const QString& dialogPath) {
  if (dialogPath.isEmpty()) return {};
  QString path = QDir::cleanPath(QDir::fromNativeSeparators(dialogPath));
  if (QDir(path).isRoot()) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  } else {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  }
  return QDir::toNativeSeparators(path);
}

QString BrowseForFolder(QWidget* ownerWindow, const QString& title) {
  // Callers treat "" as "nothing chosen", so no failure may escape as anything else.
  try {
    QFileDialog dialog(ownerWindow, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return chosenFolderPath(chosen.first());
  } catch (const std::exception&) {
    return {};
  }
}

void ShellOpen(const QString& target) {
  if (target.isEmpty()) return;
  const QUrl url = QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile);
  if (!url.isValid()) return;
  QDesktopServices::openUrl(url);
}

}  // namespace shellutil
