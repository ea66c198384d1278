#include "messagelist/file_list_model.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <new>

#include "messagelist/native_path.h"

namespace messagelist {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent), ends_{0} {}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows(); }

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows() || index.column() != 0) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return text(index.row());
    case Qt::BackgroundRole:
      return kCellBackground;
    default:
      return {};
  }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString FileListModel::text(int row) const {
  if (row < 0 || row >= rows()) return {};
  const std::uint64_t b = begin(row);
  return textFromNativePath(std::string_view(pool_).substr(b, ends_[static_cast<size_t>(row)] - b));
}

std::string FileListModel::nativeText(int row) const {
  if (row < 0 || row >= rows()) return {};
  const std::uint64_t b = begin(row);
  return pool_.substr(b, ends_[static_cast<size_t>(row)] - b);
}

void FileListModel::setLastRowText(const QString& text) {
  const int last = rows() - 1;
  const std::string bytes = nativePathFromText(text);
  pool_.resize(begin(last));
  pool_.append(bytes);
  ends_.back() = pool_.size();
  const QModelIndex cell = index(last, 0);
  emit dataChanged(cell, cell);
}

void FileListModel::appendRow(const QString& text) {
  // A view addresses rows with int; refuse before the count would wrap.
  if (rows() == std::numeric_limits<int>::max()) throw std::length_error("The list cannot hold more files.");
  const std::string bytes = nativePathFromText(text);
  const int row = rows();
  // Grow storage before announcing the row, so a failed allocation leaves the
  // model as it was.
  if (ends_.size() == ends_.capacity()) ends_.reserve(ends_.capacity() * 2);
  const size_t needed = pool_.size() + static_cast<size_t>(bytes.size());
  if (needed > pool_.capacity()) pool_.reserve(std::max(needed, pool_.capacity() * 2));
  beginInsertRows({}, row, row);
  pool_.append(bytes);
  ends_.push_back(pool_.size());
  endInsertRows();
}

void FileListModel::reset() {
  // Rows are removed rather than the model reset: a reset would also drop the
  // view's column width, which emptying the list keeps.
  if (rows() > 1) {
    beginRemoveRows({}, 1, rows() - 1);
    std::vector<std::uint64_t>{0}.swap(ends_);
    std::string().swap(pool_);
    endRemoveRows();
  }
  setLastRowText(QString());
}

}  // namespace messagelist
