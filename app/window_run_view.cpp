#include "app/window_run_view.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <cmath>

#include "app/main_window.h"
#include "ui_frmStep1.h"

namespace app {

namespace {

// The bars hold whole numbers; cutting the fraction off keeps 100 for the very end.
int barValue(float value) { return static_cast<int>(std::trunc(value)); }

}  // namespace

void WindowRunView::yield() { window_.serveEvents(); }

void WindowRunView::setProgressRange(float minimum, float maximum) {
  for (QProgressBar* bar : {window_.ui().ProgressBar1, window_.ui().ProgressBar2})
    bar->setRange(barValue(minimum), barValue(maximum));
}

void WindowRunView::setProgressPosition(float position) { window_.ui().ProgressBar1->setValue(barValue(position)); }

void WindowRunView::setFrameCaption(const std::string& caption) {
  window_.ui().FrameConversion->setTitle(QString::fromStdString(caption));
}

void WindowRunView::setCurrentCaption(const std::string& caption) {
  // A stop was asked for: the line keeps saying so until the run has ended.
  if (window_.stopRequested()) return;
  window_.ui().LblCurrentDBX->setText(QString::fromStdString(caption));
}

void WindowRunView::setConvertEnabled(bool enabled) { window_.setConvertEnabled(enabled); }

void WindowRunView::selectRow(size_t row) { window_.grid().SelectCell(static_cast<int>(row)); }

bool WindowRunView::stopRequested() const { return window_.stopRequested(); }

}  // namespace app
