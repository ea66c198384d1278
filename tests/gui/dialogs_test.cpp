// Style numbers, the folder path form and the real Qt dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QAbstractItemView>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "shellutil/qt_dialogs.h"
#include "shellutil/registry.h"

using namespace shellutil;

namespace {

TEST(MsgBoxStyle, DecodesButtonsIconAndDefault) {
  const MsgBoxParts question = decodeStyle(36);
  EXPECT_EQ(question.buttonCount, 2);
  EXPECT_EQ(question.buttons[0], vbYes);
  EXPECT_EQ(question.buttons[1], vbNo);
  EXPECT_EQ(question.icon, MsgBoxIcon::Question);
  EXPECT_EQ(question.defaultButton, vbYes);
  EXPECT_EQ(question.escapeButton, vbNo);

  EXPECT_EQ(decodeStyle(vbYesNo + vbQuestion + vbDefaultButton2).defaultButton, vbNo);
  EXPECT_EQ(decodeStyle(48).icon, MsgBoxIcon::Exclamation);
  EXPECT_EQ(decodeStyle(64).icon, MsgBoxIcon::Information);
  EXPECT_EQ(decodeStyle(0).icon, MsgBoxIcon::None);
  EXPECT_EQ(decodeStyle(0).buttonCount, 1);
  EXPECT_EQ(decodeStyle(vbYesNoCancel).escapeButton, vbCancel);
  // A default past the last button falls back to the first, never to no button.
  EXPECT_EQ(decodeStyle(vbOKOnly + vbDefaultButton3).defaultButton, vbOK);
  EXPECT_EQ(buttonsName(36), QStringLiteral("Yes/No"));
}

TEST(ChosenFolderPath, RootKeepsItsSeparatorOthersLoseIt) {
  EXPECT_EQ(chosenFolderPath(QStringLiteral("/")), QStringLiteral("/"));
  EXPECT_EQ(chosenFolderPath(QStringLiteral("/srv/mail/")), QStringLiteral("/srv/mail"));
  EXPECT_EQ(chosenFolderPath(QStringLiteral("/srv//mail")), QStringLiteral("/srv/mail"));
  EXPECT_EQ(chosenFolderPath(QString()), QString());
}

// Acts on the next modal widget of type T as soon as it is shown.
template <typename T>
void whenShown(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(widget);
    }
  });
  timer->start();
}

// Types `path` into the dialog's file name box and accepts at once. Selecting in the list
// instead races with the folder listing the dialog loads on a background thread, which can
// replace the selection when it lands.
void typeAndAccept(QFileDialog* dialog, const QString& folder, const QString& path) {
  dialog->setDirectory(folder);
  for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
    if (view->selectionModel()) view->selectionModel()->clear();
  }
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(path);
  static_cast<QDialog*>(dialog)->accept();
}

TEST(QtDialogs, MessageBoxShowsTheStyleAndReturnsTheButtonCode) {
  QtDialogs dialogs;
  QString seenText, seenTitle;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  QString defaultText;
  whenShown<QMessageBox>([&](QMessageBox* box) {
    seenText = box->text();
    seenTitle = box->windowTitle();
    seenIcon = box->icon();
    defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(dialogs.messageBox(nullptr, QStringLiteral("first\r\nsecond"), 36, QStringLiteral("Vantorel")), vbNo);
  EXPECT_EQ(seenText, QStringLiteral("first\nsecond"));
  EXPECT_EQ(seenTitle, QStringLiteral("Vantorel"));
  EXPECT_EQ(seenIcon, QMessageBox::Question);
  EXPECT_EQ(defaultText.remove(QLatin1Char('&')), QStringLiteral("Yes"));

  whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
  EXPECT_EQ(dialogs.messageBox(nullptr, QStringLiteral("Enter picks the default"), 36, QStringLiteral("Vantorel")),
            vbYes);

  whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(dialogs.messageBox(nullptr, QStringLiteral("Escape is No"), 36, QStringLiteral("Vantorel")), vbNo);

  whenShown<QMessageBox>([&](QMessageBox* box) {
    seenIcon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(dialogs.messageBox(nullptr, QStringLiteral("done"), 48, QStringLiteral("Vantorel")), vbOK);
  EXPECT_EQ(seenIcon, QMessageBox::Warning);
}

TEST(QtDialogs, OpenFilesReturnsTheChosenPathsOrNothing) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  for (const char* name : {"a.msg", "b.msg"}) {
    QFile file(QDir(tmp.path()).filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QtDialogs dialogs;
  OpenFileRequest request;
  request.filter = QStringLiteral("MDaemon Messages (*.msg)");
  request.multiSelect = true;

  QStringList filters;
  bool multi = false;
  whenShown<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    multi = dialog->fileMode() == QFileDialog::ExistingFiles;
    typeAndAccept(dialog, tmp.path(), QDir(tmp.path()).filePath(QStringLiteral("b.msg")));
  });
  EXPECT_EQ(dialogs.openFiles(nullptr, request), QStringList{QDir(tmp.path()).filePath(QStringLiteral("b.msg"))});
  EXPECT_EQ(filters, QStringList{QStringLiteral("MDaemon Messages (*.msg)")});
  EXPECT_TRUE(multi);

  whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_TRUE(dialogs.openFiles(nullptr, request).isEmpty());
}

TEST(BrowseForFolder, ReturnsTheChosenFolderOrNothing) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("Inbox")));
  const QString inbox = QDir(tmp.path()).filePath(QStringLiteral("Inbox"));

  QString seenTitle;
  whenShown<QFileDialog>([&](QFileDialog* dialog) {
    seenTitle = dialog->windowTitle();
    typeAndAccept(dialog, tmp.path(), inbox);
  });
  EXPECT_EQ(BrowseForFolder(nullptr, QStringLiteral("Choose Source Folder...")), QDir::toNativeSeparators(inbox));
  EXPECT_EQ(seenTitle, QStringLiteral("Choose Source Folder..."));

  whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(BrowseForFolder(nullptr, QStringLiteral("Choose Folder to Save...")), QString());
}

}  // namespace
