// The contact sheet one print dialog works on: the printer, the pane's entries and the grid both
// the preview and the printed pages are drawn from.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "common/location.h"
#include "common/scoped_win.h"
#include "image/decoded_image.h"
#include "ui/print_layout.h"

namespace printing {

// One entry of the pane, copied when the dialog opens so the pane may change underneath.
struct SheetEntry {
    std::wstring name;
    bool selected = false;
    location::LocationKind kind = location::kFileSystemFolder;
    std::wstring path;            // the file, or the archive
    location::ArchiveEntry member; // archives only
    image::BitmapInfoHeader thumbHeader{};
    std::vector<uint8_t> thumbBits; // empty when the pane had no thumbnail
    int width = 0, height = 0;      // of the picture, turned as the pane shows it
};

// An entry chosen for printing with its fitted sizes.
struct SheetItem {
    size_t entry = 0;
    Size device;
    Size preview;
};

// A printer device context deleted with DeleteDC.
class PrinterDC {
  public:
    PrinterDC() = default;
    explicit PrinterDC(HDC dc) : dc_(dc) {}
    ~PrinterDC() { Reset(); }
    PrinterDC(const PrinterDC&) = delete;
    PrinterDC& operator=(const PrinterDC&) = delete;
    HDC Get() const { return dc_; }
    HDC Release() { return std::exchange(dc_, nullptr); }
    void Reset(HDC dc = nullptr) {
        if (dc_)
            DeleteDC(dc_);
        dc_ = dc;
    }

  private:
    HDC dc_ = nullptr;
};

struct Sheet {
    PrinterDC printer;
    DeviceMetrics metrics;
    Margins margins;
    int textHeight = 0;
    win::Font deviceFont;
    win::Font previewFont;
    int previewWidth = 1, previewHeight = 1;
    PaperFit paper;
    Grid grid;
    int columns = 6;
    bool printAll = true;
    std::vector<SheetEntry> entries;
    std::vector<SheetItem> items;
    size_t pageCount = 0;
    uint32_t currentPage = 1;
};

// The printer of the run: a context from the kept DEVMODE copy, else the system's default printer
// (no dialog). False when there is no printer.
bool OpenPrinter(Sheet& sheet);
// Takes `devMode` (a global block) as the kept copy and the context made from it as the sheet's
// printer; the previous copy is freed.
void KeepDevMode(HGLOBAL devMode);
HGLOBAL KeptDevMode(); // null before a printer was chosen; owned by the run
// After the printer changed: metrics, margins (written back to `s`), device font and grid.
void AdoptPrinter(Sheet& sheet, settings::Settings& s);
// After the preview size, columns or the all/selected choice changed: paper fit, fonts, items, pages.
void Recompute(Sheet& sheet);

// Draws page `page` on the printer from the full-size pictures, one at a time. An entry that cannot
// be loaded or turned is skipped and the next takes its cell.
void DrawPrinterPage(const Sheet& sheet, uint32_t page, const settings::Settings& s);

} // namespace printing
