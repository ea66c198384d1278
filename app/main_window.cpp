#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

#include "app/design_fonts.h"
#include "messagelist/list_commands.h"
#include "shellutil/error_text.h"
#include "ui_frmStep1.h"

using shellutil::kAppTitle;

frmStep1::frmStep1(shellutil::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::frmStep1>()), dialogs_(dialogs) {
  Form_Initialize();
  ui_->setupUi(this);
  // A fixed frame: nothing is laid out again on a change of size.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(size());
  setWindowIcon(app::windowIcon());
  app::applyDesignFonts(*this);
  drawFrameCaptionOnBorder();
  setAcceptDrops(true);
  grid_ = std::make_unique<messagelist::MessageGrid>(ui_->grdFiles1, ui_->lblCount1);

  connect(ui_->cmdAdd, &QPushButton::clicked, this, [this] { runCommand([this] { cmdAdd_Click(); }); });
  connect(ui_->cmdClear1, &QPushButton::clicked, this, [this] { runCommand([this] { cmdClear1_Click(); }); });
  connect(ui_->CmdAddFolder, &QPushButton::clicked, this, [this] { runCommand([this] { CmdAddFolder_Click(); }); });
  connect(ui_->CmdExtractDBX, &QPushButton::clicked, this, [this] { runCommand([this] { CmdExtractDBX_Click(); }); });
  // Exit stays usable while a command runs: it is how the user stops one.
  connect(ui_->cmdEnd, &QPushButton::clicked, this, &frmStep1::cmdEnd_Click);
  connect(ui_->CmdHelp, &QPushButton::clicked, this, &frmStep1::CmdHelp_Click);

  Form_Load();
  centerOnScreen();
}

frmStep1::~frmStep1() = default;

void frmStep1::Form_Initialize() {
  // Qt widgets take the platform's visual style by themselves; only the design
  // font has to be made available before the controls are built.
  app::loadDesignFonts();
}

void frmStep1::Form_Load() {
  folderList_ = QStringList{QString()};
  grid_->setColumnWidthTwips(messagelist::MessageGrid::kWidthAtLoadTwips);
}

void frmStep1::centerOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  move(available.center() - rect().center());
}

void frmStep1::drawFrameCaptionOnBorder() {
  // Some platform styles put a group box's caption above its border; the classic Windows
  // style draws it on the top border, as the design shows. The style is the frame's alone:
  // the controls inside it keep the platform's.
  QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"));
  if (!classic) return;
  classic->setParent(this);
  ui_->FrameConversion->setStyle(classic);
}

void frmStep1::runCommand(const std::function<void()>& command) {
  if (commandRunning_ || closing_) return;
  commandRunning_ = true;
  struct Release {
    bool& flag;
    ~Release() { flag = false; }
  } release{commandRunning_};
  try {
    command();
  } catch (const WindowClosed&) {
    // The window is gone; the command ends here and the program with it.
  } catch (const std::exception& error) {
    // A failure no handler traps must still not vanish or end the program.
    if (!closing_) dialogs_.messageBox(this, shellutil::errorBoxText(error), shellutil::vbExclamation, kAppTitle);
  }
}

void frmStep1::serveEvents() {
  if (!sinceYield_.isValid() || sinceYield_.elapsed() >= kYieldIntervalMs) {
    QCoreApplication::processEvents();
    sinceYield_.start();
  }
}

void frmStep1::yieldToEvents() {
  serveEvents();
  if (closing_) throw WindowClosed{};
}

void frmStep1::AddFileToList(const QString& path) { grid_->AddFileToList(path); }

void frmStep1::ResetFileList() {
  folderList_ = QStringList{QString()};
  runState_.folderList = {std::string()};
  listingSkipped_.clear();
  grid_->ResetFileList();
}

void frmStep1::setConvertEnabled(bool enabled) { ui_->CmdExtractDBX->setEnabled(enabled); }

void frmStep1::cmdAdd_Click() {
  messagelist::AddMessageFiles(this, dialogs_, *grid_, [this] { setConvertEnabled(true); });
}

void frmStep1::cmdClear1_Click() {
  if (messagelist::AskToClear(this, dialogs_, *grid_)) ResetFileList();
}

void frmStep1::cmdEnd_Click() {
  const int answer = dialogs_.messageBox(this, QStringLiteral("Are you sure you want to exit now?"),
                                         shellutil::vbYesNo + shellutil::vbQuestion, kAppTitle);
  if (answer == shellutil::vbYes) close();
}

void frmStep1::CmdHelp_Click() { dialogs_.shellOpen(kHelpPageAddress); }

void frmStep1::closeEvent(QCloseEvent* event) {
  if (conversionRunning_) {
    // Ending now would lose the messages converted so far: the run stops after the
    // current message, completes the file, and closes the window itself.
    event->ignore();
    if (!stopRequested_) {
      stopRequested_ = true;
      ui_->LblCurrentDBX->setText(
          QStringLiteral("Stopping: saving the messages converted so far, then Vantorel closes..."));
    }
    return;
  }
  // Form_Unload: closing asks nothing.
  closing_ = true;
  event->accept();
  emit unloaded();
}
