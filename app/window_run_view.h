// The conversion run's view of the main window: its progress controls and its event loop.
#pragma once

#include "conversion/engine.h"

class frmStep1;

namespace app {

class WindowRunView : public conversion::RunView {
 public:
  explicit WindowRunView(frmStep1& window) : window_(window) {}

  // Never throws: a close during the run asks it to stop (stopRequested) instead, so
  // that the file is completed with every message saved so far.
  void yield() override;
  void setProgressRange(float minimum, float maximum) override;
  void setProgressPosition(float position) override;
  void setFrameCaption(const std::string& caption) override;
  void setCurrentCaption(const std::string& caption) override;
  void setConvertEnabled(bool enabled) override;
  void selectRow(size_t row) override;
  bool stopRequested() const override;

 private:
  frmStep1& window_;
};

}  // namespace app
