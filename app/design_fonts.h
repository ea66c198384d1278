// The design's fonts: Tahoma, or a close sans-serif where it is missing.
#pragma once

#include <QFont>
#include <QIcon>

class QWidget;

namespace app {

// Makes Tahoma available where the system ships it outside the font paths
// (Wine's metric-compatible copy); safe to call more than once.
void loadDesignFonts();

// Tahoma at `points`, falling back to a sans-serif of similar width.
QFont designFont(qreal points, bool bold = false);

// Gives `window` the standard 8.25 pt font, the title and convert button their
// 14.25 pt ones, and the title its white banner.
void applyDesignFonts(QWidget& window);

// Our icon in every size that ships with the program.
QIcon windowIcon();

}  // namespace app
