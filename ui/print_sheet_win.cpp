#include "ui/print_sheet_win.h"

#include <commdlg.h>

#include <algorithm>

#include "app/decode_options.h"
#include "folder/location_source.h"
#include "image/load.h"
#include "image/scale.h"

namespace printing {

namespace {

// The DEVMODE of the printer chosen last; it lives for the run and is never saved.
HGLOBAL g_devMode = nullptr;

DeviceMetrics ReadMetrics(HDC dc) {
    DeviceMetrics m;
    m.dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    m.dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    m.paperWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
    m.paperHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
    m.offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
    m.offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    m.printableWidth = GetDeviceCaps(dc, HORZRES);
    m.printableHeight = GetDeviceCaps(dc, VERTRES);
    return Normalised(m);
}

HFONT MakeFont(int height, const std::wstring& face) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// Orientation 6 turns clockwise, 8 counter-clockwise, anything else but 1 half a turn.
bool Orient(image::DecodedImage& img, int orientation) {
    if (orientation == 1)
        return true;
    const int bits = image::BitCount(img);
    if (bits != 24 && bits != 8)
        return false;
    const int kind = orientation == 6 ? 1 : orientation == 8 ? 3 : 2;
    int width = image::Width(img), height = image::Height(img);
    platform::PageBlock turned = image::RotateImage(img.pixels, &width, &height, kind, bits);
    if (!turned)
        return false;
    image::AdoptPixels(img, std::move(turned));
    img.info.header.width = width;
    img.info.header.height = height;
    return true;
}

image::ImagePtr LoadFullSize(const SheetEntry& e, const settings::Settings& s) {
    int orientation = 1;
    const image::LoadOptions options = settings::DecodeOptionsOf(s);
    image::ImagePtr picture;
    if (location::IsArchiveKind(e.kind)) {
        folder::LocationMember member(folder::SourceFor(e.kind), e.path, e.member);
        picture = image::LoadImageFromArchiveMember(member, &orientation, 0, options);
    } else {
        picture = image::LoadImageFromFile(e.path, &orientation, 0, options);
    }
    if (!picture || !picture->pixels)
        return nullptr;
    if (s.exifOrientation && !Orient(*picture, orientation))
        return nullptr;
    return picture;
}

} // namespace

void KeepDevMode(HGLOBAL devMode) {
    if (g_devMode && g_devMode != devMode)
        GlobalFree(g_devMode);
    g_devMode = devMode;
}

HGLOBAL KeptDevMode() { return g_devMode; }

bool OpenPrinter(Sheet& sheet) {
    if (g_devMode) {
        if (auto* dm = static_cast<DEVMODEW*>(GlobalLock(g_devMode))) {
            sheet.printer.Reset(CreateDCW(L"WINSPOOL", dm->dmDeviceName, nullptr, dm));
            GlobalUnlock(g_devMode);
        }
        return sheet.printer.Get() != nullptr;
    }
    PRINTDLGW pd = {};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    if (!PrintDlgW(&pd))
        return false;
    if (pd.hDevNames)
        GlobalFree(pd.hDevNames);
    KeepDevMode(pd.hDevMode);
    sheet.printer.Reset(pd.hDC);
    return sheet.printer.Get() != nullptr;
}

void AdoptPrinter(Sheet& sheet, settings::Settings& s) {
    HDC dc = sheet.printer.Get();
    sheet.metrics = ReadMetrics(dc);
    sheet.margins = DeviceMargins(sheet.metrics, &s.printMargins);
    // A 10-point font on the printer.
    sheet.deviceFont.Reset(MakeFont(-(sheet.metrics.dpiY * 10 / 72), s.fontFace));
    TEXTMETRICW tm = {};
    const HGDIOBJ old = SelectObject(dc, sheet.deviceFont.Get());
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    sheet.textHeight = tm.tmHeight > 0 ? tm.tmHeight : sheet.metrics.dpiY * 10 / 72;
    Recompute(sheet);
}

void Recompute(Sheet& sheet) {
    sheet.paper = FitPaper(sheet.previewWidth, sheet.previewHeight, sheet.metrics.paperWidth, sheet.metrics.paperHeight);
    const int previewText = std::max(1, static_cast<int>(sheet.textHeight * sheet.paper.scale + 0.5));
    std::wstring face;
    LOGFONTW lf = {};
    if (sheet.deviceFont && GetObjectW(sheet.deviceFont.Get(), sizeof lf, &lf))
        face = lf.lfFaceName;
    sheet.previewFont.Reset(MakeFont(-previewText, face));
    sheet.grid = ComputeGrid(sheet.metrics, sheet.margins, sheet.columns, sheet.textHeight);
    sheet.items.clear();
    for (size_t i = 0; i < sheet.entries.size(); ++i) {
        const SheetEntry& e = sheet.entries[i];
        if (!sheet.printAll && !e.selected)
            continue;
        SheetItem item;
        item.entry = i;
        item.device = FitInCell(e.width, e.height, sheet.grid.cellWidth, sheet.grid.cellHeight);
        item.preview = Scaled(item.device, sheet.paper.scale);
        sheet.items.push_back(item);
    }
    sheet.pageCount = PageCount(sheet.grid, sheet.items.size());
    const uint32_t last = static_cast<uint32_t>(std::max<size_t>(sheet.pageCount, 1));
    sheet.currentPage = std::min(std::max<uint32_t>(sheet.currentPage, 1), last);
}

void DrawPrinterPage(const Sheet& sheet, uint32_t page, const settings::Settings& s) {
    HDC dc = sheet.printer.Get();
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    win::SelectObjectScope font(dc, sheet.deviceFont.Get());
    const PageItems range = ItemsOfPage(sheet.grid, sheet.items.size(), page);
    size_t slot = 0;
    for (size_t k = 0; k < range.count; ++k) {
        const SheetItem& item = sheet.items[range.first + k];
        const SheetEntry& e = sheet.entries[item.entry];
        // One full-size picture at a time: it is freed before the next is read.
        image::ImagePtr picture = LoadFullSize(e, s);
        if (!picture)
            continue;
        const Placement p = PlaceItem(sheet.grid, sheet.margins, slot++, item.device);
        const int dx = -sheet.metrics.offsetX, dy = -sheet.metrics.offsetY;
        StretchDIBits(dc, p.picture.left + dx, p.picture.top + dy, p.picture.width, p.picture.height, 0, 0,
                      image::Width(*picture), image::Height(*picture), picture->pixels,
                      reinterpret_cast<const BITMAPINFO*>(&picture->info), DIB_RGB_COLORS, SRCCOPY);
        RECT r = {p.name.left + dx, p.name.top + dy, p.name.left + dx + p.name.width, p.name.top + dy + p.name.height};
        std::wstring name = e.name;
        DrawTextExW(dc, name.data(), static_cast<int>(name.size()), &r,
                    DT_WORD_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX, nullptr);
    }
}

} // namespace printing
