// Module `registry`: the folder browser and the shell "open" request.
#pragma once

#include <QString>

class QWidget;

namespace shellutil {

// Modal folder dialog owned by `ownerWindow`, showing `title`. Returns the chosen
// folder's native path, or "" when the user cancelled or anything failed. A root
// comes back with its trailing separator ("/"), any other folder without one.
QString BrowseForFolder(QWidget* ownerWindow, const QString& title);

// Asks the desktop to open `target` (a file or a web address) and does not wait
// for, or look at, the result. An empty target does nothing.
void ShellOpen(const QString& target);

// The path form BrowseForFolder returns, made from what a Qt dialog handed back.
QString chosenFolderPath(const QString& dialogPath);

}  // namespace shellutil
