#include "messagelist/list_commands.h"

#include "messagelist/message_grid.h"
#include "shellutil/error_text.h"

namespace messagelist {

using shellutil::kAppTitle;

void AddMessageFiles(QWidget* owner, shellutil::Dialogs& dialogs, MessageGrid& grid,
                     const std::function<void()>& enableConvert) {
  try {
    shellutil::OpenFileRequest request;
    request.initialFileName = QString();
    request.filter = kMessageFilter;
    request.multiSelect = true;
    const QStringList chosen = dialogs.openFiles(owner, request);
    if (chosen.isEmpty()) return;
    enableConvert();
    for (const QString& path : chosen) grid.AddFileToList(path);
  } catch (const std::exception& error) {
    dialogs.messageBox(owner, shellutil::errorBoxText(error), shellutil::vbExclamation, kAppTitle);
  }
}

bool AskToClear(QWidget* owner, shellutil::Dialogs& dialogs, const MessageGrid& grid) {
  if (grid.IsEmpty()) return false;
  const int answer = dialogs.messageBox(
      owner, QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"),
      shellutil::vbYesNo + shellutil::vbQuestion, kAppTitle);
  return answer == shellutil::vbYes;
}

}  // namespace messagelist
