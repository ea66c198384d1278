// Windows message-box style numbers and result codes, and their decoding.
#pragma once

#include <QString>

namespace shellutil {

// Style parts: the buttons sit in the low four bits, the icon in the next four,
// the default button in the four after that; a style is the sum of one of each.
enum MsgBoxStyle : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbAbortRetryIgnore = 2,
  vbYesNoCancel = 3,
  vbYesNo = 4,
  vbRetryCancel = 5,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton1 = 0,
  vbDefaultButton2 = 256,
  vbDefaultButton3 = 512,
};

// What a message box returns: the code of the button that closed it.
enum MsgBoxResult : int {
  vbOK = 1,
  vbCancel = 2,
  vbAbort = 3,
  vbRetry = 4,
  vbIgnore = 5,
  vbYes = 6,
  vbNo = 7,
};

enum class MsgBoxIcon { None, Critical, Question, Exclamation, Information };

// One style number taken apart.
struct MsgBoxParts {
  int buttons[3] = {vbOK, 0, 0};  // result codes of the buttons, left to right; 0 = no button
  int buttonCount = 1;
  MsgBoxIcon icon = MsgBoxIcon::None;
  int defaultButton = vbOK;  // result code of the default button
  int escapeButton = vbOK;   // what closing the box without a choice answers
};

// Unknown button or icon parts fall back to OK only and no icon, as Windows does
// not show a box it cannot build and an unanswerable box would be worse.
MsgBoxParts decodeStyle(int style);

// "Yes/No", "OK" ... for records and test messages.
QString buttonsName(int style);
QString iconName(MsgBoxIcon icon);

}  // namespace shellutil
