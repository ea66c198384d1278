// The message list held in the grid `grdFiles1` and its counter `lblCount1`.
#pragma once

#include <QString>
#include <string>

#include "messagelist/entry_width.h"

class QLabel;
class QTableView;

namespace messagelist {

class FileListModel;

// The grid is the only store of the list: the empty list is one row with an
// empty cell, entries fill rows 0 to Rows() - 1 in the order added. The column is
// kListWidthTwips wide, or as wide as the widest entry, so that the horizontal scroll
// bar reaches the end of every path.
class MessageGrid {
 public:
  static constexpr int kWidthAtLoadTwips = 50000;
  static constexpr int kListWidthTwips = 10000;
  static constexpr int kRowHeightTwips = 240;

  // Gives `view` its one-column list shape, colours and model (owned by the view).
  MessageGrid(QTableView* view, QLabel* counter);

  void AddFileToList(const QString& path);
  // Empties the grid and sets the counter to "0 files"; the column width stays.
  void ResetFileList();

  int Rows() const;
  QString Text(int row) const;
  // The row's path as the file system spells it, for reading the file.
  std::string NativeText(int row) const;
  // The emptiness test of the list: cell (0, 0) holds no text.
  bool IsEmpty() const;
  // Makes `row` the grid's current cell (column 0).
  void SelectCell(int row);

  void setColumnWidthTwips(int twips);
  int columnWidthTwips() const;

  QTableView* view() const { return view_; }
  FileListModel* model() const { return model_; }

 private:
  void updateCounter();

  QTableView* view_;
  QLabel* counter_;
  FileListModel* model_;
  EntryWidth entryWidth_;
};

}  // namespace messagelist
