// The message list as the conversion run reads it: the grid's rows, read live.
#pragma once

#include "conversion/engine.h"
#include "messagelist/message_grid.h"

namespace app {

class GridRowSource : public conversion::RowSource {
 public:
  explicit GridRowSource(const messagelist::MessageGrid& grid) : grid_(grid) {}
  size_t rows() const override { return static_cast<size_t>(grid_.Rows()); }
  // The path as the file system spells it, so that any name can be opened.
  std::string text(size_t row) const override { return grid_.NativeText(static_cast<int>(row)); }

 private:
  const messagelist::MessageGrid& grid_;
};

}  // namespace app
