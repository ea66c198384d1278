// Adds a million paths to a shown message grid and reports time and memory of
// each step; the grid has to stay responsive at that size.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <cstdio>

#include "app/main_window.h"
#include "messagelist/message_grid.h"
#include "shellutil/scripted_dialogs.h"
#include "ui_frmStep1.h"

namespace {

long residentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

void report(const char* step, QElapsedTimer& timer, long baseKiB) {
  std::printf("%-34s %8lld ms   RSS +%ld MiB\n", step, static_cast<long long>(timer.restart()),
              (residentKiB() - baseKiB) / 1024);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;

  shellutil::ScriptedDialogs dialogs;
  frmStep1 window(dialogs);
  window.show();
  messagelist::MessageGrid& grid = window.grid();
  QTableView& view = *window.ui().grdFiles1;
  QLabel& counter = *window.ui().lblCount1;
  QApplication::processEvents();
  const long baseKiB = residentKiB();

  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < rows; ++i)
    grid.AddFileToList(QStringLiteral("/srv/mdaemon/Users/example.com/user%1/Inbox/md5000%2.msg").arg(i % 500).arg(i));
  report("add rows one by one", timer, baseKiB);

  // The add-folder command yields between rows; a repaint at full size must stay cheap.
  for (int i = 0; i < 1000; ++i) {
    QApplication::processEvents();
    grid.AddFileToList(QStringLiteral("/srv/extra/%1.msg").arg(i));
  }
  report("1000 adds, each after processEvents", timer, baseKiB);

  for (int i = 0; i < 100000; ++i) {
    window.yieldToEvents();
    grid.AddFileToList(QStringLiteral("/srv/yielded/%1.msg").arg(i));
  }
  report("100000 adds, each after the yield", timer, baseKiB);

  view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
  view.viewport()->repaint();
  view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
  view.viewport()->repaint();
  report("scroll to end and middle, repaint", timer, baseKiB);

  long long characters = 0;
  for (int r = 0; r < grid.Rows(); ++r) characters += grid.Text(r).size();
  report("read every row", timer, baseKiB);

  grid.ResetFileList();
  QApplication::processEvents();
  report("clear", timer, baseKiB);

  std::printf("rows %d, characters %lld, counter after clear \"%s\"\n", rows + 101000, characters,
              qPrintable(counter.text()));
  return grid.Rows() == 1 && grid.IsEmpty() ? 0 : 1;
}
