// The add-folder command on real folder trees, driven through the window's buttons.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/main_window.h"
#include "messagelist/native_path.h"
#include "shellutil/scripted_dialogs.h"
#include "tests/gui/drop.h"
#include "tests/scan/temp_tree.h"
#include "ui_frmStep1.h"

using namespace shellutil;
using scantest::TempTree;

namespace {

struct AddFolderFixture : testing::Test {
  ScriptedDialogs dialogs;
  frmStep1 window{dialogs};
  Ui::frmStep1& ui = window.ui();
  TempTree tree;

  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  void addFolder(const std::string& folder) {
    dialogs.answerFolder(QString::fromStdString(folder));
    QTest::mouseClick(ui.CmdAddFolder, Qt::LeftButton);
  }
  // The window serves events at most every few milliseconds; after a pause the
  // command's first yield serves what a test queued.
  void addFolderAfterPause(const std::string& folder) {
    QTest::qWait(2 * frmStep1::kYieldIntervalMs);
    addFolder(folder);
  }
  QStringList rows() {
    QStringList out;
    for (int r = 0; r < window.grid().Rows(); ++r) out << window.grid().Text(r);
    return out;
  }
  QStringList boxTexts() {
    QStringList out;
    for (const Interaction& box : dialogs.boxes()) out << box.text;
    return out;
  }
};

TEST_F(AddFolderFixture, CancelledBrowserChangesNothing) {
  tree.file("M/a.msg");
  QTest::mouseClick(ui.CmdAddFolder, Qt::LeftButton);  // nothing scripted: cancelled
  ASSERT_EQ(dialogs.shown().size(), 1);
  EXPECT_EQ(dialogs.shown()[0].kind, Interaction::Kind::BrowseForFolder);
  EXPECT_EQ(dialogs.shown()[0].text, QStringLiteral("Choose Source Folder..."));
  EXPECT_TRUE(window.grid().IsEmpty());
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(AddFolderFixture, ListsMessageFilesFolderFirstAndCountsThem) {
  for (const char* f : {"M/Sub/y.msg", "M/x.msg", "M/A.MSG", "M/b.Msg", "M/c.msg.txt", "M/d.msgx", "M/e.eml",
                        "M/.hidden.msg", "M/Sub/Deeper/z.msg"})
    tree.file(f);
  const std::string m = tree.path("M");
  addFolder(m);  // the browser returns it without a trailing separator

  EXPECT_EQ(rows(), (QStringList{QString::fromStdString(m + "/.hidden.msg"), QString::fromStdString(m + "/A.MSG"),
                                 QString::fromStdString(m + "/b.Msg"), QString::fromStdString(m + "/x.msg"),
                                 QString::fromStdString(m + "/Sub/y.msg"),
                                 QString::fromStdString(m + "/Sub/Deeper/z.msg")}));
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("6 files"));
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction box = dialogs.boxes()[0];
  EXPECT_EQ(box.text, QStringLiteral("6 Files Added to List."));
  EXPECT_EQ(box.title, QStringLiteral("Vantorel"));
  EXPECT_EQ(box.style, 0);
  EXPECT_EQ(box.icon(), MsgBoxIcon::None);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  // The same folder again doubles every row; the counter counts them all.
  addFolder(m + "/");
  EXPECT_EQ(window.grid().Rows(), 12);
  EXPECT_EQ(rows().mid(6), rows().mid(0, 6));
  EXPECT_EQ(boxTexts().last(), QStringLiteral("6 Files Added to List."));
}

TEST_F(AddFolderFixture, FolderWithoutMessagesReportsZeroAndDisablesConvert) {
  tree.file("M/a.msg");
  tree.file("Empty/readme.txt");
  addFolder(tree.path("M"));
  ASSERT_TRUE(ui.CmdExtractDBX->isEnabled());

  addFolder(tree.path("Empty"));
  addFolder(tree.path("Gone"));  // removed after it was chosen: nothing to list, no failure
  EXPECT_EQ(boxTexts(), (QStringList{"1 Files Added to List.", "0 Files Added to List.", "0 Files Added to List."}));
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());  // this run added nothing, though the list holds a file
  EXPECT_EQ(window.grid().Rows(), 1);
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("1 files"));
}

TEST_F(AddFolderFixture, NamesThatAreNotUtf8ReachTheListByteForByte) {
  const std::string m = tree.path("M");
  const std::string latin1Folder = m + "/Z\xfcrich";  // "Zürich" as an old system wrote it
  std::filesystem::create_directories(latin1Folder);
  std::ofstream(latin1Folder + "/caf\xe9.msg") << "x";
  addFolder(m);
  ASSERT_EQ(window.grid().Rows(), 1);
  const std::string listed = messagelist::nativePathFromText(window.grid().Text(0));
  EXPECT_EQ(listed, latin1Folder + "/caf\xe9.msg");
  EXPECT_TRUE(std::filesystem::exists(listed));
}

TEST_F(AddFolderFixture, WhatCannotBeListedIsNamedInAWarningAndAgainWhenTheRunEnds) {
  tree.file("M/a.msg", "From: a@example.com\r\nSubject: kept\r\n\r\nbody\r\n");
  ASSERT_EQ(mkfifo(tree.path("M/pipe.msg").c_str(), 0600), 0);
  std::filesystem::create_symlink("gone.msg", tree.root() / "M/dangling.msg");
  std::filesystem::create_symlink("/dev/null", tree.root() / "M/null.txt");  // no message name: not named
  const std::string tooDeep = tree.nestToPathLimit("M") + "/" + std::string(250, 'd') + "/";
  addFolder(tree.path("M"));

  EXPECT_EQ(rows(), QStringList{QString::fromStdString(tree.path("M/a.msg"))});
  ASSERT_EQ(dialogs.boxes().size(), 2);
  EXPECT_EQ(dialogs.boxes()[0].text, QStringLiteral("1 Files Added to List."));
  const Interaction warning = dialogs.boxes()[1];
  const QStringList lines = warning.text.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 5) << warning.text.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("1 folder could not be read and 2 message files cannot be read, so they are not in the list:"));
  EXPECT_EQ(lines[1], QString::fromStdString(tree.path("M/dangling.msg") + " - a link to something that does not exist (gone.msg)"));
  EXPECT_EQ(lines[2], QString::fromStdString(tree.path("M/pipe.msg") + " - not a regular file (a named pipe)"));
  EXPECT_TRUE(lines[3].startsWith(QString::fromStdString(tooDeep + " - the path is "))) << lines[3].toStdString();
  EXPECT_TRUE(lines[4].contains(QStringLiteral("add the folder again")));
  EXPECT_EQ(warning.icon(), MsgBoxIcon::Exclamation);
  EXPECT_EQ(warning.title, QStringLiteral("Vantorel"));

  // The end of the run says what is missing from the file, and forgets it once the list is cleared.
  tree.dir("out");
  dialogs.clear();
  dialogs.answerFolder(QString::fromStdString(tree.path("out")));
  QTest::mouseClick(ui.CmdExtractDBX, Qt::LeftButton);
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const QString done = dialogs.boxes()[0].text;
  EXPECT_TRUE(done.startsWith(QStringLiteral("Conversion Done !"))) << done.toStdString();
  EXPECT_TRUE(done.contains(QStringLiteral("1 folder and 2 files were skipped and are not in the PST file:"))) << done.toStdString();
  EXPECT_TRUE(done.contains(QString::fromStdString(tree.path("M/pipe.msg") + " - not a regular file (a named pipe)")));
  dialogs.clear();
  dialogs.answerBox(vbYes);
  QTest::mouseClick(ui.cmdClear1, Qt::LeftButton);
  tree.file("N/b.msg", "From: a@example.com\r\nSubject: b\r\n\r\nbody\r\n");
  addFolder(tree.path("N"));
  dialogs.clear();
  dialogs.answerFolder(QString::fromStdString(tree.path("out")));
  QTest::mouseClick(ui.CmdExtractDBX, Qt::LeftButton);
  ASSERT_EQ(dialogs.boxes().size(), 1);
  EXPECT_FALSE(dialogs.boxes()[0].text.contains(QStringLiteral("skipped"))) << dialogs.boxes()[0].text.toStdString();
}

TEST_F(AddFolderFixture, DroppedFilesAndFoldersAreAddedInTheOrderDropped) {
  for (const char* f : {"M/x.msg", "M/Sub/y.msg", "M/readme.txt", "loose/a.msg", "loose/b.txt", "Empty/c.eml"})
    tree.file(f);
  const std::string latin1 = tree.path("loose") + "/caf\xe9.msg";
  std::ofstream(latin1) << "x";

  // Files pass the add-files dialog's filter; a folder is listed as the add-folder command lists it.
  EXPECT_TRUE(guitest::dropPaths(ui.grdFiles1->viewport(),
                                 {tree.path("loose/a.msg"), tree.path("M"), tree.path("loose/b.txt"), latin1}));
  ASSERT_EQ(window.grid().Rows(), 4);
  EXPECT_EQ(rows().mid(0, 3), (QStringList{QString::fromStdString(tree.path("loose/a.msg")),
                                           QString::fromStdString(tree.path("M/x.msg")),
                                           QString::fromStdString(tree.path("M/Sub/y.msg"))}));
  EXPECT_EQ(window.grid().NativeText(3), latin1);
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("4 files"));
  EXPECT_EQ(boxTexts(), QStringList{"4 Files Added to List."});
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  // A folder without messages disables the convert button, as the add-folder command does;
  // message files alone add their rows without a box.
  dialogs.clear();
  guitest::dropPaths(ui.grdFiles1->viewport(), {tree.path("Empty")});
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());
  guitest::dropPaths(&window, {tree.path("loose/b.txt")});
  guitest::dropPaths(ui.FrameConversion, {tree.path("M/x.msg")});
  EXPECT_EQ(boxTexts(), QStringList{"0 Files Added to List."});
  EXPECT_EQ(window.grid().Rows(), 5);
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
}

TEST_F(AddFolderFixture, OtherCommandsAreRefusedWhileItRunsAndClosingStopsIt) {
  for (int f = 0; f < 200; ++f) tree.file("M/F" + std::to_string(f) + "/m.msg");

  // Clicks and a drop that arrive while the folder is being searched and listed.
  QString lineWhileSearching;
  bool dropTaken = true;
  dialogs.whileShown = [&](const Interaction& shown) {
    if (shown.kind != Interaction::Kind::BrowseForFolder) return;
    QMetaObject::invokeMethod(
        &window, [&] { lineWhileSearching = ui.lblCount1->text(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(ui.cmdClear1, "click", Qt::QueuedConnection);
    QMetaObject::invokeMethod(ui.CmdAddFolder, "click", Qt::QueuedConnection);
    QMetaObject::invokeMethod(ui.cmdAdd, "click", Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        &window, [&] { dropTaken = guitest::dropPaths(ui.grdFiles1->viewport(), {tree.path("M")}); },
        Qt::QueuedConnection);
  };
  addFolderAfterPause(tree.path("M"));
  EXPECT_FALSE(dropTaken);
  EXPECT_EQ(window.grid().Rows(), 200);
  EXPECT_EQ(dialogs.shown().size(), 2);  // the browser and the count: every other click was refused
  EXPECT_EQ(boxTexts(), QStringList{"200 Files Added to List."});
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("200 files"));
  // The search showed how far it got: after the chosen folder itself, no file yet.
  EXPECT_EQ(lineWhileSearching, QStringLiteral("0 files - searching the folder: 0 files found in 1 folders..."));

  // Closing the window in the middle ends the command at once, without its box.
  QSignalSpy unloaded(&window, &frmStep1::unloaded);
  dialogs.clear();
  dialogs.whileShown = [&](const Interaction& shown) {
    if (shown.kind == Interaction::Kind::BrowseForFolder)
      QMetaObject::invokeMethod(&window, "close", Qt::QueuedConnection);
  };
  addFolderAfterPause(tree.path("M"));
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_TRUE(dialogs.boxes().isEmpty());
  EXPECT_EQ(window.grid().Rows(), 200);  // it stopped while searching
  EXPECT_FALSE(window.commandRunning());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(ui.lblCount1->text().contains(QStringLiteral("searching")));
}

}  // namespace
