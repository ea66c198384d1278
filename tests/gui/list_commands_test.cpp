// The add-files command's handling of dialog results and failures.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTableView>

#include "messagelist/list_commands.h"
#include "messagelist/message_grid.h"
#include "shellutil/error_text.h"
#include "shellutil/scripted_dialogs.h"

using namespace shellutil;
using messagelist::MessageGrid;

namespace {

struct AddFilesFixture : testing::Test {
  QTableView view;
  QLabel counter{QStringLiteral("0 files")};
  MessageGrid grid{&view, &counter};
  ScriptedDialogs dialogs;
  int enabled = 0;
  void run() { messagelist::AddMessageFiles(nullptr, dialogs, grid, [this] { ++enabled; }); }
};

TEST_F(AddFilesFixture, FailingDialogAddsNothingAndSaysWhy) {
  dialogs.failOpenFiles(DialogError(kSelectionTooLarge, QStringLiteral("buffer"), 1000));
  dialogs.failOpenFiles(DialogError(32755, QStringLiteral("Dialog could not be shown. Try again.")));
  run();
  run();
  EXPECT_EQ(enabled, 0);
  EXPECT_TRUE(grid.IsEmpty());
  const auto boxes = dialogs.boxes();
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Please select only 1000 files at a time"));
  EXPECT_EQ(boxes[1].text, QStringLiteral("32755:Dialog could not be shown. Try again."));
  for (const auto& box : boxes) {
    EXPECT_EQ(box.title, QStringLiteral("Vantorel"));
    EXPECT_EQ(box.style, 48);
    EXPECT_EQ(box.icon(), MsgBoxIcon::Exclamation);
    EXPECT_EQ(box.buttons(), QStringLiteral("OK"));
  }
}

TEST_F(AddFilesFixture, DialogIsAskedForSeveralMessageFilesFromAnEmptyName) {
  dialogs.answerOpenFiles({QStringLiteral("/m/a.msg")});
  run();
  ASSERT_EQ(dialogs.shown().size(), 1);
  const auto& request = dialogs.shown()[0].request;
  EXPECT_EQ(request.filter, QStringLiteral("MDaemon Messages (*.msg)"));
  EXPECT_TRUE(request.multiSelect);
  EXPECT_TRUE(request.initialFileName.isEmpty());
  EXPECT_EQ(enabled, 1);
}

TEST(ErrorBoxText, EveryFailureGetsANumberAndAnAdvice) {
  EXPECT_EQ(errorBoxText(std::bad_alloc()),
            QStringLiteral("7:Out of memory. Close other programs, or add fewer files at a time."));
  const QString other = errorBoxText(std::runtime_error("Disk gone"));
  EXPECT_TRUE(other.startsWith(QStringLiteral("51:Disk gone."))) << other.toStdString();
  EXPECT_TRUE(other.contains(QStringLiteral("Try again"))) << other.toStdString();
}

}  // namespace
