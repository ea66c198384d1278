#include "messagelist/message_grid.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include "messagelist/file_list_model.h"
#include "messagelist/twips.h"

namespace messagelist {

MessageGrid::MessageGrid(QTableView* view, QLabel* counter)
    : view_(view), counter_(counter), model_(new FileListModel(view)), entryWidth_(view) {
  view_->setModel(model_);
  view_->horizontalHeader()->hide();
  view_->verticalHeader()->hide();
  // Fixed sizes keep the headers from measuring rows: a million rows stay cheap.
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(twipsToPixels(kRowHeightTwips));
  view_->verticalHeader()->setMinimumSectionSize(1);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectItems);
  view_->setWordWrap(false);
  view_->setCornerButtonEnabled(false);
  // The grid shows the column's full width; the scroll bar appears when it is wider.
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  QPalette palette = view_->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, Qt::white);  // the area outside the cells
    palette.setColor(group, QPalette::Highlight, QColor(64, 64, 64));
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  view_->setPalette(palette);
}

void MessageGrid::AddFileToList(const QString& path) {
  const QString copy = path;
  bool reuseFirstRow = false;
  if (model_->rows() == 1 && model_->text(0).isEmpty()) {
    setColumnWidthTwips(kListWidthTwips);
    reuseFirstRow = true;
  }
  if (reuseFirstRow)
    model_->setLastRowText(copy);
  else
    model_->appendRow(copy);
  const int width = view_->columnWidth(0);
  if (const int needed = entryWidth_.needed(copy, width); needed > width) view_->setColumnWidth(0, needed);
  updateCounter();
}

void MessageGrid::ResetFileList() {
  model_->reset();
  counter_->setText(QStringLiteral("0 files"));
}

int MessageGrid::Rows() const { return model_->rows(); }

QString MessageGrid::Text(int row) const { return model_->text(row); }

std::string MessageGrid::NativeText(int row) const { return model_->nativeText(row); }

bool MessageGrid::IsEmpty() const { return model_->text(0).isEmpty(); }

void MessageGrid::SelectCell(int row) { view_->setCurrentIndex(model_->index(row, 0)); }

void MessageGrid::setColumnWidthTwips(int twips) { view_->setColumnWidth(0, twipsToPixels(twips)); }

int MessageGrid::columnWidthTwips() const { return pixelsToTwips(view_->columnWidth(0)); }

void MessageGrid::updateCounter() { counter_->setText(QString::number(model_->rows()) + QStringLiteral(" files")); }

}  // namespace messagelist
