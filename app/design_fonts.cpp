#include "app/design_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace app {

void loadDesignFonts() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return;
  // Only the regular face: Wine's bold face is drawn with another font's
  // glyphs here, while a bold synthesised from the regular one looks right.
  const QString regular = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
  if (QFile::exists(regular)) QFontDatabase::addApplicationFont(regular);
}

QFont designFont(qreal points, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  return font;
}

void applyDesignFonts(QWidget& window) {
  window.setFont(designFont(8.25));
  if (auto* title = window.findChild<QLabel*>(QStringLiteral("lblTitle"))) {
    title->setFont(designFont(14.25, true));
    QPalette palette = title->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    title->setPalette(palette);
    title->setAutoFillBackground(true);
  }
  if (auto* counter = window.findChild<QLabel*>(QStringLiteral("LblProgessCurrent"))) {
    QPalette palette = counter->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    counter->setPalette(palette);
  }
  if (auto* convert = window.findChild<QPushButton*>(QStringLiteral("CmdExtractDBX")))
    convert->setFont(designFont(14.25));
}

QIcon windowIcon() {
  QIcon icon;
  for (int size : {16, 32, 48})
    icon.addFile(QStringLiteral(":/vantorel/icons/vantorel-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace app
