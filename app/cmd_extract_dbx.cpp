// The conversion run behind the convert button.
#include "app/main_window.h"

// ===== CONVERSION RUN: to be filled in with the conversion engine =====
// Runs under the command guard. Available here: cdlgFile() for the folder
// browser and the boxes, app::BusyCursor, yieldToEvents(), grid().Rows() and
// grid().Text(row), folderList(), ui().FrameConversion->setTitle(),
// ui().LblCurrentDBX->setText(), ui().ProgressBar1/ProgressBar2 and
// setConvertEnabled().
void frmStep1::CmdExtractDBX_Click() {}
