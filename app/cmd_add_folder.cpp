// The add-folder command: lists every message file below a chosen folder.
#include "app/main_window.h"

// ===== ADD-FOLDER COMMAND: to be filled in with the folder scanner `pathLogger` =====
// Runs under the command guard. Available here: cdlgFile().browseForFolder(this,
// "Choose Source Folder..."), app::BusyCursor (app/busy_cursor.h), yieldToEvents(),
// AddFileToList(), setConvertEnabled() and cdlgFile().messageBox().
void frmStep1::CmdAddFolder_Click() {}
