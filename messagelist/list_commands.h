// The add-files and clear commands of the message list.
#pragma once

#include <functional>

#include "shellutil/dialogs.h"

class QWidget;

namespace messagelist {

class MessageGrid;

// The filter of the Open File dialog of the add-files command.
inline const QString kMessageFilter = QStringLiteral("MDaemon Messages (*.msg)");

// Lets the user pick message files and appends each, in the dialog's order.
// `enableConvert` runs once the dialog returned a selection, before any row is
// added. Every failure ends the command with one box; rows added before it stay.
void AddMessageFiles(QWidget* owner, shellutil::Dialogs& dialogs, MessageGrid& grid,
                     const std::function<void()>& enableConvert);

// The clear question. True when the list holds entries and the user answered
// Yes; an empty list asks nothing and answers false.
bool AskToClear(QWidget* owner, shellutil::Dialogs& dialogs, const MessageGrid& grid);

}  // namespace messagelist
