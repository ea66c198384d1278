// The rows of the message grid: one path per row, at least one row.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <cstdint>
#include <string>
#include <vector>

namespace messagelist {

// Paths are kept as file-system bytes (UTF-8 for valid names) in one pooled buffer, so a million rows cost about
// their text plus eight bytes each, and only the rows on screen are turned
// into QStrings.
class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static inline const QColor kCellBackground{255, 255, 191};

  explicit FileListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  int rows() const { return static_cast<int>(ends_.size()); }
  QString text(int row) const;
  // The row's file name as the file system spells it (see native_path.h).
  std::string nativeText(int row) const;
  // Rewrites the text of the last row; earlier rows cannot be rewritten.
  void setLastRowText(const QString& text);
  // Appends one row holding `text`.
  void appendRow(const QString& text);
  // Back to a single empty row.
  void reset();

 private:
  std::string pool_;
  std::vector<std::uint64_t> ends_;  // end offset in pool_ of each row
  std::uint64_t begin(int row) const { return row == 0 ? 0 : ends_[static_cast<size_t>(row) - 1]; }
};

}  // namespace messagelist
