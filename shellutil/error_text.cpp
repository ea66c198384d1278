#include "shellutil/error_text.h"

#include <new>

#include "shellutil/dialogs.h"

namespace shellutil {

QString errorBoxText(const std::exception& error) {
  if (const auto* dialogError = dynamic_cast<const DialogError*>(&error)) {
    if (dialogError->number == kSelectionTooLarge)
      return QStringLiteral("Please select only ") + QString::number(dialogError->limit) +
             QStringLiteral(" files at a time");
    return QString::number(dialogError->number) + QLatin1Char(':') + dialogError->description;
  }
  if (dynamic_cast<const std::bad_alloc*>(&error))
    return QStringLiteral("7:Out of memory. Close other programs, or add fewer files at a time.");
  return QStringLiteral("51:") + QString::fromLocal8Bit(error.what()) +
         QStringLiteral(". Try again; if it happens again, restart Vantorel.");
}

}  // namespace shellutil
