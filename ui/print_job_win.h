// The print button of the contact-sheet dialog: the system's print dialog, then the job.
#pragma once

#include <windows.h>

#include <string>

#include "app/settings.h"
#include "ui/print_sheet_win.h"

namespace printing {

enum class JobOutcome {
    Cancelled,      // nothing was sent
    PrinterChanged, // the choice of printer or pages was applied, nothing printed
    Printed,
    Failed, // the caller shows 30010; nothing half-started is left at the spooler
};

// Runs the print dialog with the sheet's pages and DEVMODE copy; adopts the printer it returns
// (metrics, margins, fonts, grid) and, when asked to print, prints the chosen pages as document
// `documentName`.
JobOutcome PrintSheet(HWND owner, Sheet& sheet, settings::Settings& s, const std::wstring& documentName);

} // namespace printing
