// The row semantics of the message list on a bare grid and counter.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include "messagelist/file_list_model.h"
#include "messagelist/message_grid.h"
#include "messagelist/twips.h"

using messagelist::MessageGrid;
using messagelist::twipsToPixels;

namespace {

// The view with its own measure of the width a column's visible rows need.
struct MeasuredView : QTableView {
  using QTableView::sizeHintForColumn;
};

struct GridFixture : testing::Test {
  MeasuredView view;
  QLabel counter{QStringLiteral("0 files")};
  MessageGrid grid{&view, &counter};
};

TEST_F(GridFixture, FirstPathReusesTheEmptyRowLaterOnesAppend) {
  ASSERT_EQ(grid.Rows(), 1);
  ASSERT_TRUE(grid.IsEmpty());
  grid.AddFileToList(QStringLiteral("C:\\Mail\\a.msg"));
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.Text(0), QStringLiteral("C:\\Mail\\a.msg"));
  EXPECT_EQ(counter.text(), QStringLiteral("1 files"));

  grid.AddFileToList(QStringLiteral("C:\\Mail\\b.msg"));
  grid.AddFileToList(QStringLiteral("C:\\Mail\\a.msg"));
  EXPECT_EQ(grid.Rows(), 3);
  EXPECT_EQ(grid.Text(0), QStringLiteral("C:\\Mail\\a.msg"));
  EXPECT_EQ(grid.Text(1), QStringLiteral("C:\\Mail\\b.msg"));
  EXPECT_EQ(grid.Text(2), QStringLiteral("C:\\Mail\\a.msg"));
  EXPECT_EQ(counter.text(), QStringLiteral("3 files"));
  EXPECT_EQ(view.model()->rowCount(), 3);
}

TEST_F(GridFixture, EmptyPathOnEmptyListCountsButStaysEmpty) {
  grid.AddFileToList(QString());
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(counter.text(), QStringLiteral("1 files"));
  EXPECT_TRUE(grid.IsEmpty());
  grid.AddFileToList(QStringLiteral("/m/x.msg"));
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.Text(0), QStringLiteral("/m/x.msg"));
}

TEST_F(GridFixture, ResetEmptiesKeepsWidthAndNextAddReusesRowZero) {
  grid.setColumnWidthTwips(MessageGrid::kWidthAtLoadTwips);
  for (int i = 0; i < 5; ++i) grid.AddFileToList(QStringLiteral("/m/%1.msg").arg(i));
  EXPECT_EQ(view.columnWidth(0), twipsToPixels(MessageGrid::kListWidthTwips));
  grid.ResetFileList();
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_TRUE(grid.IsEmpty());
  EXPECT_EQ(counter.text(), QStringLiteral("0 files"));
  EXPECT_EQ(view.model()->rowCount(), 1);
  EXPECT_EQ(view.columnWidth(0), twipsToPixels(MessageGrid::kListWidthTwips));

  grid.setColumnWidthTwips(MessageGrid::kWidthAtLoadTwips);
  grid.AddFileToList(QStringLiteral("/m/again.msg"));
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.Text(0), QStringLiteral("/m/again.msg"));
  EXPECT_EQ(view.columnWidth(0), twipsToPixels(MessageGrid::kListWidthTwips));
}

TEST_F(GridFixture, PathsComeBackExactlyAsAdded) {
  const QStringList paths = {QStringLiteral("/srv/mail/Ünïcödé/日本語.msg"), QStringLiteral("/srv/mail/😀 emoji.msg"),
                             QStringLiteral("  /spaces kept/a.MSG  "), QString(QChar(0x0301)) + QStringLiteral("x")};
  for (const QString& p : paths) grid.AddFileToList(p);
  ASSERT_EQ(grid.Rows(), paths.size());
  for (int i = 0; i < paths.size(); ++i) EXPECT_EQ(grid.Text(i), paths[i]) << i;
  EXPECT_EQ(view.model()->data(view.model()->index(1, 0), Qt::DisplayRole).toString(), paths[1]);
}

TEST_F(GridFixture, ManyRowsKeepTheirOrderAcrossStorageGrowth) {
  constexpr int kRows = 50000;
  for (int i = 0; i < kRows; ++i) grid.AddFileToList(QStringLiteral("/mail/folder%1/message%2.msg").arg(i % 97).arg(i));
  ASSERT_EQ(grid.Rows(), kRows);
  EXPECT_EQ(counter.text(), QStringLiteral("50000 files"));
  for (int i : {0, 1, 4095, 4096, 31337, kRows - 1})
    EXPECT_EQ(grid.Text(i), QStringLiteral("/mail/folder%1/message%2.msg").arg(i % 97).arg(i));
  grid.ResetFileList();
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_TRUE(grid.IsEmpty());
}

TEST_F(GridFixture, AnEntryWiderThanTheGridCanBeScrolledToItsEnd) {
  view.resize(twipsToPixels(7695), twipsToPixels(1575));
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  grid.AddFileToList(QStringLiteral("/m/a.msg"));
  EXPECT_EQ(view.columnWidth(0), twipsToPixels(MessageGrid::kListWidthTwips));
  QTest::qWait(20);  // the view lays itself out again from a timer
  QScrollBar* bar = view.horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());  // the column is wider than the grid, as in the design

  const QString folder = QStringLiteral("/srv/mdaemon/Users/example.com/someone/Archive.IMAP/");
  for (const QString& name : {QStringLiteral("W").repeated(120), QStringLiteral("日本語のメール").repeated(12),
                              QStringLiteral("بريد إلكتروني ").repeated(10), QStringLiteral("e\u0301").repeated(150)}) {
    grid.AddFileToList(folder + name + QStringLiteral(".msg"));
    QTest::qWait(20);
    // As wide as the widest row needs, so that scrolling to the end shows its last character.
    EXPECT_GE(view.columnWidth(0), view.sizeHintForColumn(0)) << name.toStdString();
    EXPECT_EQ(bar->maximum(), view.columnWidth(0) - view.viewport()->width());
  }
  const int widest = view.columnWidth(0);
  grid.AddFileToList(QStringLiteral("/m/short.msg"));
  EXPECT_EQ(view.columnWidth(0), widest);
  grid.ResetFileList();
  grid.AddFileToList(QStringLiteral("/m/a.msg"));
  EXPECT_EQ(view.columnWidth(0), twipsToPixels(MessageGrid::kListWidthTwips));
}

TEST_F(GridFixture, GridLooksLikeTheDesign) {
  EXPECT_FALSE(view.horizontalHeader()->isVisible() && view.horizontalHeader()->isVisibleTo(&view));
  EXPECT_TRUE(view.horizontalHeader()->isHidden());
  EXPECT_TRUE(view.verticalHeader()->isHidden());
  EXPECT_EQ(view.model()->columnCount(), 1);
  const QModelIndex cell = view.model()->index(0, 0);
  EXPECT_EQ(view.model()->data(cell, Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 191));
  EXPECT_EQ(view.palette().color(QPalette::Highlight), QColor(64, 64, 64));
  EXPECT_EQ(view.palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_FALSE(view.model()->flags(cell) & Qt::ItemIsEditable);
  // Out-of-range reads are empty rather than undefined.
  EXPECT_EQ(grid.Text(-1), QString());
  EXPECT_EQ(grid.Text(5), QString());
}

}  // namespace
