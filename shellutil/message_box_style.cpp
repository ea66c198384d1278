#include "shellutil/message_box_style.h"

namespace shellutil {

MsgBoxParts decodeStyle(int style) {
  MsgBoxParts p;
  auto set = [&p](std::initializer_list<int> codes) {
    p.buttonCount = 0;
    for (int c : codes) p.buttons[p.buttonCount++] = c;
  };
  switch (style & 0x0F) {
    case vbOKCancel: set({vbOK, vbCancel}); p.escapeButton = vbCancel; break;
    case vbAbortRetryIgnore: set({vbAbort, vbRetry, vbIgnore}); p.escapeButton = vbAbort; break;
    case vbYesNoCancel: set({vbYes, vbNo, vbCancel}); p.escapeButton = vbCancel; break;
    case vbYesNo: set({vbYes, vbNo}); p.escapeButton = vbNo; break;
    case vbRetryCancel: set({vbRetry, vbCancel}); p.escapeButton = vbCancel; break;
    default: set({vbOK}); p.escapeButton = vbOK; break;
  }
  switch (style & 0xF0) {
    case vbCritical: p.icon = MsgBoxIcon::Critical; break;
    case vbQuestion: p.icon = MsgBoxIcon::Question; break;
    case vbExclamation: p.icon = MsgBoxIcon::Exclamation; break;
    case vbInformation: p.icon = MsgBoxIcon::Information; break;
    default: p.icon = MsgBoxIcon::None; break;
  }
  int index = (style & 0xF00) >> 8;
  if (index >= p.buttonCount) index = 0;
  p.defaultButton = p.buttons[index];
  return p;
}

QString buttonsName(int style) {
  switch (style & 0x0F) {
    case vbOKCancel: return QStringLiteral("OK/Cancel");
    case vbAbortRetryIgnore: return QStringLiteral("Abort/Retry/Ignore");
    case vbYesNoCancel: return QStringLiteral("Yes/No/Cancel");
    case vbYesNo: return QStringLiteral("Yes/No");
    case vbRetryCancel: return QStringLiteral("Retry/Cancel");
    default: return QStringLiteral("OK");
  }
}

QString iconName(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::Critical: return QStringLiteral("critical");
    case MsgBoxIcon::Question: return QStringLiteral("question");
    case MsgBoxIcon::Exclamation: return QStringLiteral("exclamation");
    case MsgBoxIcon::Information: return QStringLiteral("information");
    case MsgBoxIcon::None: break;
  }
  return QStringLiteral("none");
}

}  // namespace shellutil
