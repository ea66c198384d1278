// The main window driven through real clicks and keys.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionGroupBox>
#include <QTableView>
#include <QTest>

#include "app/main_window.h"
#include "messagelist/twips.h"
#include "shellutil/scripted_dialogs.h"
#include "ui_frmStep1.h"

using namespace shellutil;
using messagelist::twipsToPixels;

namespace {

struct WindowFixture : testing::Test {
  ScriptedDialogs dialogs;
  frmStep1 window{dialogs};
  Ui::frmStep1& ui = window.ui();

  void SetUp() override {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void addFiles(const QStringList& paths) {
    dialogs.answerOpenFiles(paths);
    click(ui.cmdAdd);
  }
  // An accelerator presses its button with a short animation, so its click
  // lands a moment later.
  void pressAlt(Qt::Key key) {
    QTest::keyClick(&window, key, Qt::AltModifier);
    QTest::qWait(250);
  }
  QStringList rows() {
    QStringList out;
    for (int r = 0; r < window.grid().Rows(); ++r) out << window.grid().Text(r);
    return out;
  }
};

struct Design {
  const char* name;
  const char* container;
  int left, top, width, height;
  const char* text;
};

// The design in twips, in creation order (earlier controls lie in front).
const Design kDesign[] = {
    {"FrameConversion", "frmStep1", 240, 3480, 7695, 1815, "Details"},
    {"ProgressBar1", "FrameConversion", 1800, 1320, 5775, 255, nullptr},
    {"ProgressBar2", "FrameConversion", 1800, 960, 5775, 255, nullptr},
    {"Label2", "FrameConversion", 120, 960, 1695, 255, "Current File Progress : "},
    {"Label1", "FrameConversion", 120, 1320, 1695, 255, "Overall Progress        : "},
    {"LblCurrentDBX", "FrameConversion", 120, 240, 7455, 255, "Converting Messages..."},
    {"LblProgessCurrent", "FrameConversion", 1800, 600, 5775, 255, "Message 0 (of 0)"},
    {"Picture3", "frmStep1", 240, 6240, 7695, 495, nullptr},
    {"CmdHelp", "Picture3", 0, 0, 1695, 375, "&Help Manual"},
    {"cmdEnd", "Picture3", 6360, 0, 1335, 375, "E&xit"},
    {"CmdExtractDBX", "frmStep1", 2040, 5400, 4215, 555, "Convert MDaemon &Messages"},
    {"CmdAddFolder", "frmStep1", 3120, 960, 2895, 375, "Add MDaemon Message(s) Folder..."},
    {"cmdClear1", "frmStep1", 6240, 960, 1695, 375, "Clear File(s)..."},
    {"cmdAdd", "frmStep1", 240, 960, 2775, 375, "Add MDaemon Email Message(s)..."},
    {"grdFiles1", "frmStep1", 240, 1800, 7695, 1575, nullptr},
    {"lblTitle", "frmStep1", 240, 120, 6255, 375, "Vantorel"},
    {"Shape1", "frmStep1", 0, 6120, 8415, 855, nullptr},
    {"lblCount1", "frmStep1", 270, 1560, 7695, 255, "0 files"},
    {"Shape2", "frmStep1", -120, 0, 8415, 855, nullptr},
};

QString textOf(QWidget* w) {
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

TEST_F(WindowFixture, ControlsFollowTheDesign) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Vantorel"));
  EXPECT_EQ(window.size(), QSize(545, 449));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowIcon().isNull());
  EXPECT_TRUE(window.windowIcon().availableSizes().contains(QSize(16, 16)));

  for (const Design& d : kDesign) {
    SCOPED_TRACE(d.name);
    auto* w = window.findChild<QWidget*>(QString::fromLatin1(d.name));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(d.container));
    EXPECT_EQ(w->geometry(), QRect(twipsToPixels(d.left), twipsToPixels(d.top), twipsToPixels(d.width),
                                   twipsToPixels(d.height)));
    if (d.text) {
      EXPECT_EQ(textOf(w), QString::fromLatin1(d.text));
    }
  }

  // Stacking: among siblings, a control created earlier lies in front.
  for (size_t i = 0; i < std::size(kDesign); ++i)
    for (size_t j = i + 1; j < std::size(kDesign); ++j) {
      if (qstrcmp(kDesign[i].container, kDesign[j].container) != 0) continue;
      auto* front = window.findChild<QWidget*>(QString::fromLatin1(kDesign[i].name));
      auto* back = window.findChild<QWidget*>(QString::fromLatin1(kDesign[j].name));
      const auto siblings = front->parentWidget()->children();
      EXPECT_GT(siblings.indexOf(front), siblings.indexOf(back)) << kDesign[i].name << " / " << kDesign[j].name;
    }

  for (QProgressBar* bar : {ui.ProgressBar1, ui.ProgressBar2}) {
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
  EXPECT_EQ(QFontInfo(ui.cmdAdd->font()).pointSizeF(), 8.25);
  EXPECT_EQ(ui.lblTitle->font().pointSizeF(), 14.25);
  EXPECT_TRUE(QFontInfo(ui.lblTitle->font()).bold());
  EXPECT_EQ(ui.CmdExtractDBX->font().pointSizeF(), 14.25);
  EXPECT_FALSE(QFontInfo(ui.CmdExtractDBX->font()).bold());
  EXPECT_TRUE(ui.lblTitle->autoFillBackground());
  EXPECT_EQ(ui.lblTitle->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(WindowFixture, DetailsCaptionLiesOnTheFrameTopBorder) {
  QGroupBox* frame = ui.FrameConversion;
  QStyleOptionGroupBox option;
  option.initFrom(frame);
  option.text = frame->title();
  option.textAlignment = frame->alignment();
  option.lineWidth = 1;
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect border = frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, frame);
  const QRect caption = frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
  EXPECT_LT(caption.top(), border.top());
  EXPECT_GT(caption.bottom(), border.top());
  EXPECT_GT(caption.left(), border.left());
  // The controls inside keep the window's style.
  EXPECT_EQ(ui.ProgressBar1->style(), window.style());
  EXPECT_EQ(ui.LblCurrentDBX->style(), window.style());
}

TEST_F(WindowFixture, StartsEmptyWithConvertDisabledAndHelpHidden) {
  EXPECT_EQ(window.grid().Rows(), 1);
  EXPECT_TRUE(window.grid().IsEmpty());
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("0 files"));
  EXPECT_EQ(ui.grdFiles1->columnWidth(0), twipsToPixels(50000));
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());
  EXPECT_FALSE(ui.CmdHelp->isVisible());
  EXPECT_EQ(window.folderList(), QStringList{QString()});

  const QStringList focusable = {"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1", "CmdExtractDBX", "cmdEnd",
                                 "CmdHelp"};
  QStringList order;
  QWidget* w = ui.cmdAdd;
  do {
    if (focusable.contains(w->objectName()) && !order.contains(w->objectName())) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != ui.cmdAdd);
  EXPECT_EQ(order, (QStringList{"cmdAdd", "cmdClear1", "CmdAddFolder", "grdFiles1", "CmdExtractDBX", "cmdEnd",
                                "CmdHelp"}));
}

TEST_F(WindowFixture, AddingFilesFillsTheGridInDialogOrderAndEnablesConvert) {
  addFiles({"/srv/mail/b.msg", "/srv/mail/a.msg", "/srv/mail/c.txt"});
  EXPECT_EQ(rows(), (QStringList{"/srv/mail/b.msg", "/srv/mail/a.msg", "/srv/mail/c.txt"}));
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("3 files"));
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
  EXPECT_EQ(ui.grdFiles1->columnWidth(0), twipsToPixels(10000));
  EXPECT_EQ(ui.grdFiles1->model()->rowCount(), 3);

  addFiles({"/srv/mail/a.msg"});
  EXPECT_EQ(rows().size(), 4);
  EXPECT_EQ(rows().last(), QStringLiteral("/srv/mail/a.msg"));
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("4 files"));
  EXPECT_TRUE(dialogs.boxes().isEmpty());
}

TEST_F(WindowFixture, CancelledDialogChangesNothing) {
  click(ui.cmdAdd);  // nothing scripted: the dialog is cancelled
  EXPECT_EQ(dialogs.shown().size(), 1);
  EXPECT_TRUE(dialogs.boxes().isEmpty());
  EXPECT_TRUE(window.grid().IsEmpty());
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("0 files"));
  EXPECT_FALSE(ui.CmdExtractDBX->isEnabled());
}

TEST_F(WindowFixture, ClearAsksOnlyForAFullListAndEmptiesOnYes) {
  click(ui.cmdClear1);
  EXPECT_TRUE(dialogs.shown().isEmpty());

  addFiles({"/m/1.msg", "/m/2.msg"});
  window.folderList() = QStringList{"m", "n"};
  dialogs.answerBox(vbNo);
  click(ui.cmdClear1);
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction question = dialogs.boxes()[0];
  EXPECT_EQ(question.text, QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"));
  EXPECT_EQ(question.title, QStringLiteral("Vantorel"));
  EXPECT_EQ(question.style, 36);
  EXPECT_EQ(question.icon(), MsgBoxIcon::Question);
  EXPECT_EQ(question.buttons(), QStringLiteral("Yes/No"));
  EXPECT_EQ(question.defaultButton(), vbYes);
  EXPECT_EQ(rows(), (QStringList{"/m/1.msg", "/m/2.msg"}));
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("2 files"));

  dialogs.answerBox(vbYes);
  click(ui.cmdClear1);
  EXPECT_EQ(dialogs.boxes().size(), 2);
  EXPECT_EQ(window.grid().Rows(), 1);
  EXPECT_TRUE(window.grid().IsEmpty());
  EXPECT_EQ(ui.lblCount1->text(), QStringLiteral("0 files"));
  EXPECT_EQ(window.folderList(), QStringList{QString()});
  EXPECT_EQ(ui.grdFiles1->columnWidth(0), twipsToPixels(10000));
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());  // emptying does not touch the convert button

  addFiles({"/m/3.msg"});
  EXPECT_EQ(rows(), QStringList{"/m/3.msg"});
}

TEST_F(WindowFixture, ExitAsksAndClosesOnlyOnYes) {
  QSignalSpy unloaded(&window, &frmStep1::unloaded);
  addFiles({"/m/1.msg"});
  dialogs.answerBox(vbNo);
  click(ui.cmdEnd);
  ASSERT_EQ(dialogs.boxes().size(), 1);
  const Interaction question = dialogs.boxes()[0];
  EXPECT_EQ(question.text, QStringLiteral("Are you sure you want to exit now?"));
  EXPECT_EQ(question.title, QStringLiteral("Vantorel"));
  EXPECT_EQ(question.style, 36);
  EXPECT_EQ(question.defaultButton(), vbYes);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(rows(), QStringList{"/m/1.msg"});
  EXPECT_EQ(unloaded.count(), 0);

  dialogs.answerBox(vbYes);
  click(ui.cmdEnd);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(WindowFixture, CloseBoxEndsWithoutAQuestion) {
  QSignalSpy unloaded(&window, &frmStep1::unloaded);
  addFiles({"/m/1.msg"});
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(dialogs.boxes().isEmpty());
  EXPECT_EQ(unloaded.count(), 1);
  // A command that yields after the close stops there.
  EXPECT_THROW(window.yieldToEvents(), WindowClosed);
}

TEST_F(WindowFixture, AcceleratorsPressOnlyEnabledVisibleButtons) {
  QSignalSpy convertClicks(ui.CmdExtractDBX, &QPushButton::clicked);
  pressAlt(Qt::Key_M);
  EXPECT_EQ(convertClicks.count(), 0);
  pressAlt(Qt::Key_H);
  EXPECT_TRUE(dialogs.shown().isEmpty());

  addFiles({"/m/1.msg"});
  pressAlt(Qt::Key_M);
  EXPECT_EQ(convertClicks.count(), 1);

  dialogs.answerBox(vbNo);
  pressAlt(Qt::Key_X);
  ASSERT_EQ(dialogs.boxes().size(), 1);
  EXPECT_EQ(dialogs.boxes()[0].text, QStringLiteral("Are you sure you want to exit now?"));
  EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowFixture, RunningCommandRefusesOtherCommandsButNotExit) {
  int nested = 0;
  dialogs.whileShown = [&](const Interaction& shown) {
    if (shown.kind != Interaction::Kind::OpenFiles || nested++) return;
    EXPECT_TRUE(window.commandRunning());
    ui.cmdClear1->click();
    ui.cmdAdd->click();
    dialogs.answerBox(vbNo);
    ui.cmdEnd->click();
  };
  addFiles({"/m/1.msg"});
  dialogs.whileShown = nullptr;
  // The refused clicks showed nothing; the exit question was asked and answered No.
  ASSERT_EQ(dialogs.shown().size(), 2);
  EXPECT_EQ(dialogs.shown()[1].text, QStringLiteral("Are you sure you want to exit now?"));
  EXPECT_EQ(rows(), QStringList{"/m/1.msg"});
  EXPECT_FALSE(window.commandRunning());

  click(ui.cmdClear1);
  EXPECT_EQ(dialogs.boxes().size(), 2);
}

TEST_F(WindowFixture, YieldServesPendingEventsAndStopsOnClose) {
  window.setConvertEnabled(false);
  QMetaObject::invokeMethod(ui.CmdExtractDBX, "setEnabled", Qt::QueuedConnection, Q_ARG(bool, true));
  QMetaObject::invokeMethod(&window, "close", Qt::QueuedConnection);
  QElapsedTimer timer;
  timer.start();
  bool stopped = false;
  while (!stopped && timer.elapsed() < 5000) {
    try {
      window.yieldToEvents();
    } catch (const WindowClosed&) {
      stopped = true;
    }
  }
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(ui.CmdExtractDBX->isEnabled());
}

TEST_F(WindowFixture, HelpOpensTheProductPage) {
  window.CmdHelp_Click();
  ASSERT_EQ(dialogs.shown().size(), 1);
  EXPECT_EQ(dialogs.shown()[0].kind, Interaction::Kind::ShellOpen);
  EXPECT_EQ(dialogs.shown()[0].text, frmStep1::kHelpPageAddress);
  EXPECT_FALSE(ui.CmdHelp->isVisible());
}

}  // namespace
