// Drops local paths onto a widget as a file manager does: a drag enters, then the drop. The
// events go to `target` and travel from there to the widget that takes drops, as Qt sends
// them; then the events the drop posted are served.
#pragma once

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

namespace guitest {

// True when the drag was taken. Paths are file-system bytes, percent-encoded as file managers send them.
inline bool dropPaths(QWidget* target, const std::vector<std::string>& paths) {
  QList<QUrl> urls;
  for (const std::string& path : paths)
    urls << QUrl(QStringLiteral("file://") + QString::fromLatin1(QByteArray::fromStdString(path).toPercentEncoding("/")));
  QMimeData data;
  data.setUrls(urls);
  const QPointF at = target->rect().center();
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  QCoreApplication::processEvents();
  return enter.isAccepted();
}

}  // namespace guitest
