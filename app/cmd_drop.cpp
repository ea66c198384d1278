// Files and folders dropped onto the window from a file manager.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <filesystem>

#include "app/busy_cursor.h"
#include "app/main_window.h"
#include "messagelist/message_filter.h"
#include "messagelist/native_path.h"

namespace {

// The file-system bytes of a local URL. The percent-encoding is undone here, not by QUrl,
// so that a name that is not UTF-8 keeps its bytes.
std::string nativePathOfUrl(const QUrl& url) {
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  return bytes.toStdString();
}

bool holdsLocalFiles(const QMimeData* data) {
  if (!data || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return true;
  return false;
}

}  // namespace

void frmStep1::dragEnterEvent(QDragEnterEvent* event) {
  // While a command runs the window takes nothing, and says nothing about it either.
  if (!commandRunning_ && !closing_ && holdsLocalFiles(event->mimeData())) event->acceptProposedAction();
}

void frmStep1::dragMoveEvent(QDragMoveEvent* event) {
  if (!commandRunning_ && !closing_ && holdsLocalFiles(event->mimeData())) event->acceptProposedAction();
}

void frmStep1::dropEvent(QDropEvent* event) {
  if (commandRunning_ || closing_ || !holdsLocalFiles(event->mimeData())) return;
  event->acceptProposedAction();
  const QList<QUrl> urls = event->mimeData()->urls();
  // The file manager waits until the drop has been taken: the files are added after that,
  // so that a long search does not hold the drag on its side.
  QMetaObject::invokeMethod(
      this, [this, urls] { runCommand([this, urls] { addDroppedPaths(urls); }); }, Qt::QueuedConnection);
}

void frmStep1::addDroppedPaths(const QList<QUrl>& urls) {
  // In the order dropped: a message file as the add-files dialog offers it (its name ends in
  // ".msg"), a folder with everything below it as the add-folder command lists it.
  FolderAddition tally;
  bool folderDropped = false;
  {
    app::BusyCursor busy;
    for (const QUrl& url : urls) {
      if (!url.isLocalFile()) continue;
      const std::string path = nativePathOfUrl(url);
      std::error_code ec;
      if (std::filesystem::is_directory(path, ec)) {
        folderDropped = true;
        addFolderTree(path, tally);
      } else if (messagelist::IsMessageFileName(path)) {
        yieldToEvents();
        AddFileToList(messagelist::textFromNativePath(path));
        ++tally.added;
      }
    }
  }
  if (folderDropped) {
    reportFolderAddition(tally);
  } else if (tally.added > 0) {
    setConvertEnabled(true);
  }
}
