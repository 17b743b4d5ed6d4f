#include "ui/print_preview_win.h"

#include <cstdlib>
#include <cstring>

namespace printing {

namespace {

const wchar_t kClassName[] = L"Quorle_thpr_class";

int Round(double v) { return static_cast<int>(v + 0.5); }

const Sheet* SheetOf(HWND hwnd) { return reinterpret_cast<const Sheet*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void OnPaint(HWND hwnd, const Sheet* sheet) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (sheet) {
        // Drawn off screen first: the thumbnails would otherwise flicker over the white paper.
        RECT client;
        GetClientRect(hwnd, &client);
        win::MemoryDC memory(dc);
        win::Bitmap bitmap(CreateCompatibleBitmap(dc, client.right, client.bottom));
        if (memory.Get() && bitmap) {
            win::SelectObjectScope select(memory.Get(), bitmap.Get());
            PaintPreview(memory.Get(), *sheet);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
        } else {
            PaintPreview(dc, *sheet);
        }
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK PreviewProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        OnPaint(hwnd, SheetOf(hwnd));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace

win::WindowClass RegisterPreviewClass(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PreviewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return win::WindowClass(wc);
}

HWND CreatePreview(HWND dialog, const Sheet& sheet, int left, int top) {
    return CreateWindowExW(WS_EX_STATICEDGE, kClassName, L"", WS_CHILD | WS_VISIBLE, left, top, sheet.previewWidth + 2,
                           sheet.previewHeight + 2, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPreviewId)),
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)),
                           const_cast<Sheet*>(&sheet));
}

void PaintPreview(HDC dc, const Sheet& sheet) {
    const PaperFit& paper = sheet.paper;
    RECT all = {0, 0, sheet.previewWidth, sheet.previewHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    RECT sheetRect = {paper.left, paper.top, paper.left + paper.width, paper.top + paper.height};
    FillRect(dc, &sheetRect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    win::SelectObjectScope font(dc, sheet.previewFont.Get());
    const PageItems range = ItemsOfPage(sheet.grid, sheet.items.size(), sheet.currentPage);
    const double scale = paper.scale;
    size_t slot = 0;
    for (size_t k = 0; k < range.count; ++k) {
        const SheetItem& item = sheet.items[range.first + k];
        const SheetEntry& e = sheet.entries[item.entry];
        if (e.thumbBits.empty())
            continue;
        const Placement p = PlaceItem(sheet.grid, sheet.margins, slot++, item.device);
        BITMAPINFO info = {};
        std::memcpy(&info.bmiHeader, &e.thumbHeader, sizeof info.bmiHeader);
        StretchDIBits(dc, paper.left + Round(p.picture.left * scale), paper.top + Round(p.picture.top * scale),
                      item.preview.width, item.preview.height, 0, 0, e.thumbHeader.width, std::abs(e.thumbHeader.height),
                      e.thumbBits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        RECT r = {paper.left + Round(p.name.left * scale), paper.top + Round(p.name.top * scale),
                  paper.left + Round((p.name.left + p.name.width) * scale),
                  paper.top + Round((p.name.top + p.name.height) * scale)};
        std::wstring name = e.name;
        DrawTextExW(dc, name.data(), static_cast<int>(name.size()), &r,
                    DT_WORD_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX, nullptr);
    }
}

} // namespace printing
