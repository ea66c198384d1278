// The width a cell of the message grid needs to show a path whole.
#pragma once

#include <QFont>
#include <QString>
#include <cstdint>
#include <vector>

class QTableView;

namespace messagelist {

// Laying a path out takes about 20 microseconds, too long to do for each of a million
// rows. A bound summed from each character's cached advance rules out nearly every path;
// only those that may be wider than the column are laid out.
class EntryWidth {
 public:
  explicit EntryWidth(const QTableView* view) : view_(view) {}

  // The column width `text` needs: `current` when it fits in it, its laid-out width otherwise.
  int needed(const QString& text, int current);

 private:
  int advance(char16_t unit);
  void refreshForFont();

  const QTableView* view_;
  QFont font_;
  bool measured_ = false;
  int margins_ = 0;                 // the cell's text margins and its grid line
  std::vector<int16_t> advances_;   // per UTF-16 code unit; -1: not looked up yet
};

}  // namespace messagelist
