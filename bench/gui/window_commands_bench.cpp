// The add-folder command over a large generated tree, and the window's share of a
// conversion run (row selection, captions, progress, yields) over the resulting list.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "app/window_run_view.h"
#include "shellutil/scripted_dialogs.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int folders = argc > 1 ? std::atoi(argv[1]) : 400;
  const int filesPerFolder = argc > 2 ? std::atoi(argv[2]) : 500;

  std::string pattern = (fs::temp_directory_path() / "vantorel-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path root = pattern;
  QElapsedTimer timer;
  timer.start();
  for (int f = 0; f < folders; ++f) {
    const fs::path folder = root / ("user" + std::to_string(f)) / "Inbox";
    fs::create_directories(folder);
    for (int i = 0; i < filesPerFolder; ++i) {
      // Every tenth file is not a message, so the filter has work to do.
      const char* ending = i % 10 == 9 ? ".txt" : ".msg";
      std::ofstream(folder / ("md5000" + std::to_string(i) + ending));
    }
  }
  std::printf("tree of %d files in %d folders made in %lld ms\n", folders * filesPerFolder, folders * 2 + 1,
              static_cast<long long>(timer.restart()));

  shellutil::ScriptedDialogs dialogs;
  frmStep1 window(dialogs);
  window.show();
  QApplication::processEvents();

  dialogs.answerFolder(QString::fromStdString(root.string()));
  timer.restart();
  window.CmdAddFolder_Click();
  const long long addMs = timer.restart();
  const int rows = window.grid().Rows();
  std::printf("add-folder: %d rows listed in %lld ms (%.1f us per file found)\n", rows, addMs,
              1000.0 * static_cast<double>(addMs) / (folders * filesPerFolder));

  app::WindowRunView view(window);
  for (int i = 0; i < rows; ++i) {
    view.selectRow(static_cast<size_t>(i));
    view.yield();
    view.setConvertEnabled(false);
    view.setFrameCaption("Details : Converting - (" + std::to_string(i + 1) + " of " + std::to_string(rows) +
                         ") file(s)");
    view.setCurrentCaption("Importing Messages... from (user" + std::to_string(i % folders) + "\\Inbox)");
    view.setProgressPosition(static_cast<float>((i + 1.0) / rows * 100.0));
  }
  const long long runMs = timer.restart();
  std::printf("window side of a run over %d rows: %lld ms (%.1f us per message)\n", rows, runMs,
              1000.0 * static_cast<double>(runMs) / rows);

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
