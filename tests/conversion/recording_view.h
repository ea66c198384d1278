// A RunView that records what the run shows, and a RowSource over a vector.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "conversion/engine.h"

namespace conversion::test {

class VectorRows : public RowSource {
 public:
  explicit VectorRows(std::vector<std::string> rows) : rows_(std::move(rows)) {}
  size_t rows() const override { return rows_.size(); }
  std::string text(size_t row) const override { return rows_.at(row); }

 private:
  std::vector<std::string> rows_;
};

class RecordingView : public RunView {
 public:
  void yield() override { ++yields; }
  void setProgressPosition(float position) override { positions.push_back(position); }
  void setFrameCaption(const std::string& caption) override { frameCaptions.push_back(caption); }
  void setCurrentCaption(const std::string& caption) override { currentCaptions.push_back(caption); }
  void setConvertEnabled(bool enabled) override { enabledStates.push_back(enabled); }
  void selectRow(size_t row) override { selectedRows.push_back(row); }
  bool stopRequested() const override { return stopAfter && done >= *stopAfter; }
  void messageProgress(size_t d, size_t total) override {
    done = d;
    (void)total;
    if (onMessage) onMessage(d);
  }

  size_t yields = 0;
  std::vector<float> positions;
  std::vector<std::string> frameCaptions, currentCaptions;
  std::vector<bool> enabledStates;
  std::vector<size_t> selectedRows;
  std::optional<size_t> stopAfter;
  size_t done = 0;
  std::function<void(size_t)> onMessage;
};

}  // namespace conversion::test
