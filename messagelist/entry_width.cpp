#include "messagelist/entry_width.h"

#include <QFontMetrics>
#include <QStyle>
#include <QTableView>

namespace messagelist {

void EntryWidth::refreshForFont() {
  if (measured_ && font_ == view_->font()) return;
  measured_ = true;
  font_ = view_->font();
  advances_.assign(0x10000, -1);
  // As the item delegate draws text: a focus-frame margin and one pixel on each side.
  const int textMargin = view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
  margins_ = 2 * textMargin + (view_->showGrid() ? 1 : 0);
}

int EntryWidth::advance(char16_t unit) {
  int16_t& cached = advances_[unit];
  if (cached < 0) {
    const QFontMetrics metrics(font_);
    // Half of a surrogate pair stands for a character of its own font: take the widest.
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    cached = static_cast<int16_t>(surrogate ? metrics.maxWidth() : metrics.horizontalAdvance(QChar(unit)));
  }
  return cached;
}

int EntryWidth::needed(const QString& text, int current) {
  refreshForFont();
  int bound = margins_;
  for (QChar c : text) bound += advance(c.unicode());
  // Shaping and kerning move the laid-out width a little either way.
  if (bound + bound / 8 + 4 <= current) return current;
  const int laidOut = QFontMetrics(font_).horizontalAdvance(text) + margins_;
  return laidOut > current ? laidOut : current;
}

}  // namespace messagelist
