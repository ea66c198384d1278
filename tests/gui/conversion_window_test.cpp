// The convert button end to end: real widgets, scripted dialogs, message files on disk and
// the PST file read back through libpff.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <stdlib.h>
#include <sys/wait.h>

#include "app/main_window.h"
#include "reader/protocol.h"
#include "shellutil/scripted_dialogs.h"
#include "tests/gui/drop.h"
#include "tests/scan/temp_tree.h"
#include "ui_frmStep1.h"

using namespace shellutil;
using scantest::TempTree;
namespace fs = std::filesystem;

namespace {

std::string messageText(int n) {
  return "From: Alice <alice@example.com>\r\nTo: bob@example.com\r\nSubject: Test " + std::to_string(n) +
         "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + std::to_string(n) +
         "@example.com>\r\n\r\nBody of message " + std::to_string(n) + ".\r\n";
}

// What the window showed each time the overall bar moved.
struct ProgressStep {
  QString frame;
  QString current;
  int value;
  bool operator==(const ProgressStep&) const = default;
};
void PrintTo(const ProgressStep& s, std::ostream* os) {
  *os << "{" << s.frame.toStdString() << " | " << s.current.toStdString() << " | " << s.value << "}";
}

struct PstRead {
  int status = -1;        // 0 read, 3 no pypff, other: libpff failed
  QStringList folders;    // "path<TAB>subjects"
};

PstRead readPst(const fs::path& file) {
  PstRead read;
  const std::string command = "/usr/bin/python3 '" VANTOREL_GUI_TEST_DIR "/pst_summary.py' '" + file.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return read;
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int rc = pclose(pipe);
  read.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  read.folders = QString::fromStdString(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return read;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  return files;
}

struct ConversionFixture : testing::Test {
  ScriptedDialogs dialogs;
  frmStep1 window{dialogs};
  Ui::frmStep1& ui = window.ui();
  TempTree tree;
  std::vector<ProgressStep> steps;

  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QObject::connect(ui.ProgressBar1, &QProgressBar::valueChanged, [this](int value) {
      steps.push_back({ui.FrameConversion->title(), ui.LblCurrentDBX->text(), value});
    });
    tree.dir("out");
  }
  std::string out() const { return tree.path("out"); }
  void writeMessages(const std::vector<std::string>& files) {
    int n = 0;
    for (const std::string& f : files) tree.file(f, messageText(++n));
  }
  void addFolder(const std::string& folder) {
    dialogs.answerFolder(QString::fromStdString(folder));
    QTest::mouseClick(ui.CmdAddFolder, Qt::LeftButton);
  }
  void convertInto(const std::string& folder) {
    dialogs.answerFolder(QString::fromStdString(folder));
    QTest::mouseClick(ui.CmdExtractDBX, Qt::LeftButton);
  }
  // The one PST file in the output folder, read back.
  PstRead onlyPst() {
    const auto files = filesIn(out());
    EXPECT_EQ(files.size(), 1u);
    if (files.size() != 1) return {};
    EXPECT_TRUE(files[0].filename().string().starts_with("Vantorel"));
    EXPECT_EQ(files[0].extension(), ".pst");
    PstRead read = readPst(files[0]);
    if (read.status == 3) return read;
    EXPECT_EQ(read.status, 0) << "libpff could not read " << files[0];
    return read;
  }
  // The subjects of the PST folder that mirrors `source` (a folder below the tree).
  QString subjectsOf(const PstRead& read, const std::string& source) {
    const QString suffix = QString::fromStdString(fs::path(tree.path(source)).relative_path().string());
    for (const QString& line : read.folders) {
      const QString path = line.section(QLatin1Char('\t'), 0, 0);
      if (path.endsWith(QLatin1Char('/') + suffix)) return line.section(QLatin1Char('\t'), 1);
    }
    return QStringLiteral("<no folder for %1>").arg(suffix);
  }
};

TEST_F(ConversionFixture, ConvertsTheListedTreeShowingProgressThenTheDoneBox) {
  writeMessages({"Mail/a.msg", "Mail/Sub/b.msg", "Mail/Sub/c.msg"});
  addFolder(tree.path("Mail"));
  ASSERT_EQ(window.grid().Rows(), 3);
  dialogs.clear();

  convertInto(out());  // without a trailing separator, as the browser returns it

  ASSERT_GE(dialogs.shown().size(), 2);
  EXPECT_EQ(dialogs.shown()[0].kind, Interaction::Kind::BrowseForFolder);
  EXPECT_EQ(dialogs.shown()[0].text, QStringLiteral("Choose Folder to Save..."));
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction done = dialogs.boxes()[0];
  EXPECT_TRUE(done.text.startsWith(QStringLiteral("Conversion Done !"))) << done.text.toStdString();
  EXPECT_FALSE(done.text.contains(QStringLiteral("skipped"))) << done.text.toStdString();
  EXPECT_EQ(done.title, QStringLiteral("Vantorel"));
  EXPECT_EQ(done.icon(), MsgBoxIcon::Information);
  EXPECT_EQ(done.buttons(), QStringLiteral("OK"));

  // Folder paths in the store name their components with backslashes.
  const QString mail =
      QString::fromStdString(fs::path(tree.path("Mail")).relative_path().string()).replace(QLatin1Char('/'), QLatin1Char('\\'));
  const QString sub = mail + QStringLiteral("\\Sub");
  const std::vector<ProgressStep> expected = {
      {"Details : Converting - (1 of 3) file(s)", "Importing Messages... from (" + mail + ")", 33},
      {"Details : Converting - (2 of 3) file(s)", "Importing Messages... from (" + sub + ")", 66},
      {"Details : Converting - (3 of 3) file(s)", "Importing Messages... from (" + sub + ")", 100},
  };
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(ui.ProgressBar2->maximum(), 100);
  EXPECT_EQ(ui.ProgressBar2->value(), 0);
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());
  EXPECT_EQ(window.grid().Rows(), 3);  // the run reads the list and leaves it
  EXPECT_TRUE(window.folderList().contains(sub)) << window.folderList().join(QLatin1Char(',')).toStdString();
  EXPECT_FALSE(window.commandRunning());

  const PstRead pst = onlyPst();
  if (pst.status == 3) GTEST_SKIP() << "pypff is not installed";
  EXPECT_EQ(subjectsOf(pst, "Mail"), QStringLiteral("Test 1"));
  // libpff lists messages by node id; the run numbers each folder's messages in list order.
  EXPECT_EQ(subjectsOf(pst, "Mail/Sub"), QStringLiteral("Test 2|Test 3"));
}

TEST_F(ConversionFixture, FilesWhoseNamesAreNotUtf8AreConvertedToo) {
  tree.file("Old/Z\xfcrich/caf\xe9.msg", messageText(1));  // Latin-1 names from an old system
  addFolder(tree.path("Old"));
  ASSERT_EQ(window.grid().Rows(), 1);
  dialogs.clear();
  convertInto(out());
  ASSERT_EQ(dialogs.boxes().size(), 1);
  EXPECT_TRUE(dialogs.boxes()[0].text.startsWith(QStringLiteral("Conversion Done !")));
  EXPECT_FALSE(dialogs.boxes()[0].text.contains(QStringLiteral("skipped"))) << dialogs.boxes()[0].text.toStdString();
  const PstRead pst = onlyPst();
  if (pst.status == 3) GTEST_SKIP() << "pypff is not installed";
  // The folder keeps its name, read as Windows-1252 since it is not UTF-8.
  EXPECT_TRUE(pst.folders.filter(QStringLiteral("/Old/Z\u00fcrich\tTest 1")).size() == 1)
      << pst.folders.join('\n').toStdString();
}

TEST_F(ConversionFixture, CancelledOutputFolderChangesNothing) {
  writeMessages({"Mail/a.msg"});
  addFolder(tree.path("Mail"));
  dialogs.clear();
  ui.ProgressBar1->setRange(0, 50);
  QTest::mouseClick(ui.CmdExtractDBX, Qt::LeftButton);  // nothing scripted: cancelled
  EXPECT_EQ(dialogs.shown().size(), 1);
  EXPECT_EQ(ui.ProgressBar1->maximum(), 50);
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
  EXPECT_EQ(ui.FrameConversion->title(), QStringLiteral("Details"));
  EXPECT_TRUE(filesIn(out()).empty());
}

TEST_F(ConversionFixture, EmptyListOrUnusableOutputFolderEndsInABoxThatSaysWhatToDo) {
  writeMessages({"Mail/a.msg"});
  addFolder(tree.path("Mail"));
  dialogs.answerBox(vbYes);
  QTest::mouseClick(ui.cmdClear1, Qt::LeftButton);
  ASSERT_TRUE(window.grid().IsEmpty());
  dialogs.clear();

  convertInto(out());
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction empty = dialogs.boxes()[0];
  EXPECT_TRUE(empty.text.contains(QStringLiteral("empty"))) << empty.text.toStdString();
  EXPECT_TRUE(empty.text.contains(QStringLiteral("add files"))) << empty.text.toStdString();
  EXPECT_EQ(empty.title, QStringLiteral("Vantorel"));
  EXPECT_EQ(empty.icon(), MsgBoxIcon::Exclamation);
  EXPECT_TRUE(filesIn(out()).empty());

  // An output "folder" that is a file: nothing can be created there.
  addFolder(tree.path("Mail"));
  tree.file("not-a-folder", "x");
  dialogs.clear();
  convertInto(tree.path("not-a-folder"));
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction failed = dialogs.boxes()[0];
  EXPECT_EQ(failed.title, QStringLiteral("Outlook Error"));
  EXPECT_EQ(failed.icon(), MsgBoxIcon::Information);
  const QStringList lines = failed.text.split(QStringLiteral("\r\n"));
  ASSERT_GE(lines.size(), 4) << failed.text.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("Outlook Session Creation Error !"));
  EXPECT_EQ(lines[2], QStringLiteral("For more details visit this link : https://vantorel.org/help/#troubleshooting"));
  EXPECT_TRUE(lines[3].contains(QStringLiteral("not-a-folder"))) << lines[3].toStdString();
  EXPECT_FALSE(window.commandRunning());
}

TEST_F(ConversionFixture, OtherCommandsAndDropsAreRefusedWithoutAMessageWhileItRuns) {
  writeMessages({"Mail/a.msg", "Mail/b.msg"});
  addFolder(tree.path("Mail"));
  dialogs.clear();
  int clicks = 0;
  auto clickEverything = [&] {
    ++clicks;
    for (QPushButton* button : {ui.CmdExtractDBX, ui.cmdAdd, ui.CmdAddFolder, ui.cmdClear1}) {
      const bool enabled = button->isEnabled();
      button->setEnabled(true);  // even a button the run disabled must not start anything
      button->click();
      button->setEnabled(enabled);
    }
    EXPECT_FALSE(guitest::dropPaths(ui.grdFiles1->viewport(), {tree.path("Mail"), tree.path("Mail/a.msg")}));
  };
  dialogs.whileShown = [&](const Interaction& shown) {
    if (shown.kind == Interaction::Kind::BrowseForFolder) clickEverything();
  };
  QObject::connect(ui.ProgressBar1, &QProgressBar::valueChanged, clickEverything);

  convertInto(out());
  dialogs.whileShown = nullptr;
  EXPECT_EQ(clicks, 3);
  // Only the output browser and the done box: every click was refused.
  ASSERT_EQ(dialogs.shown().size(), 2);
  EXPECT_TRUE(dialogs.boxes()[0].text.startsWith(QStringLiteral("Conversion Done !")));
  EXPECT_EQ(window.grid().Rows(), 2);
  EXPECT_EQ(filesIn(out()).size(), 1u);
}

TEST_F(ConversionFixture, ExitOrCloseDuringARunSavesWhatWasConvertedThenEnds) {
  std::vector<std::string> files;
  for (int i = 0; i < 40; ++i) files.push_back("Mail/m" + std::to_string(100 + i) + ".msg");
  writeMessages(files);
  addFolder(tree.path("Mail"));
  dialogs.clear();
  QSignalSpy unloaded(&window, &frmStep1::unloaded);

  bool visibleWhileStopping = false;
  dialogs.answerBox(vbYes);  // to the exit question
  QObject::connect(ui.ProgressBar1, &QProgressBar::valueChanged, [&](int) {
    if (steps.size() == 1) {
      ui.cmdEnd->click();  // served from inside the run, as a click during a yield is
      EXPECT_FALSE(window.close());  // the close box too is put off until the file is complete
      visibleWhileStopping = window.isVisible() && unloaded.isEmpty();
      EXPECT_TRUE(ui.LblCurrentDBX->text().startsWith(QStringLiteral("Stopping"))) << ui.LblCurrentDBX->text().toStdString();
    }
  });
  convertInto(out());

  EXPECT_TRUE(visibleWhileStopping);
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.commandRunning());
  ASSERT_EQ(dialogs.boxes().size(), 1);  // the exit question, and no box after it
  EXPECT_EQ(dialogs.boxes()[0].text, QStringLiteral("Are you sure you want to exit now?"));
  EXPECT_EQ(steps.size(), 1u);  // it stopped after the message that was being converted

  const PstRead pst = onlyPst();
  if (pst.status == 3) GTEST_SKIP() << "pypff is not installed";
  EXPECT_EQ(subjectsOf(pst, "Mail"), QStringLiteral("Test 1"));
}

TEST_F(ConversionFixture, ExitWhileAMessageIsStillBeingReadEndsTheRunWithinASecond) {
  writeMessages({"Mail/m1.msg", "Mail/m2-never-read.msg", "Mail/m3.msg"});
  setenv(reader::kFaultVariable, "hang:m2-never-read", 1);  // its reader never answers
  addFolder(tree.path("Mail"));
  dialogs.clear();
  QSignalSpy unloaded(&window, &frmStep1::unloaded);
  dialogs.answerBox(vbYes);  // to the exit question
  QElapsedTimer sinceExit;
  QObject::connect(ui.ProgressBar1, &QProgressBar::valueChanged, [&](int) {
    if (steps.size() == 1) QTimer::singleShot(300, [&] {
        sinceExit.start();
        ui.cmdEnd->click();
      });
  });
  convertInto(out());
  unsetenv(reader::kFaultVariable);

  ASSERT_TRUE(sinceExit.isValid());
  EXPECT_LT(sinceExit.elapsed(), 1000);
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_EQ(steps.size(), 1u);
  const PstRead pst = onlyPst();
  if (pst.status == 3) GTEST_SKIP() << "pypff is not installed";
  EXPECT_EQ(subjectsOf(pst, "Mail"), QStringLiteral("Test 1"));
}

}  // namespace
