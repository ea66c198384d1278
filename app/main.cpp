// Start-up: the process creates and shows the main window, nothing else.
#include <QApplication>

#include "app/main_window.h"
#include "shellutil/qt_dialogs.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantorel"));
  shellutil::QtDialogs dialogs;
  frmStep1 window(dialogs);
  QObject::connect(&window, &frmStep1::unloaded, &application, &QCoreApplication::quit, Qt::QueuedConnection);
  window.show();
  return QApplication::exec();
}
