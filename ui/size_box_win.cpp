// The thumbnail-size box on the command toolbar: eight size presets, "+" for empty slots, and an
// entry that opens the preset dialog. Owner-drawn; its messages reach the main window.
#include <windows.h>
#include <commctrl.h>

#include <array>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "ui/main_window_win.h"
#include "ui/browse_pane_win.h"
#include "ui/size_box_win.h"

#include "common/dpi_win.h"

namespace ui {

namespace {

constexpr int kPresetCount = 8;
constexpr int kEditPresetsItem = 8;
constexpr UINT kPresetDialog = 2400;
constexpr int kFirstWidthEdit = 2410;
constexpr int kFirstHeightEdit = 2420;

app::Program& P() { return app::TheProgram(); }

std::wstring ItemText(int item) {
    if (item == kEditPresetsItem)
        return lang::Text(20070);
    const settings::SizePreset& p = P().settings.sizePresets[static_cast<size_t>(item)];
    return p.width ? layout::SizeText(p.width, p.height) : L"+";
}

void FillItems(HWND box) {
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i <= kEditPresetsItem; ++i) {
        const std::wstring text = ItemText(i);
        LRESULT at = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        bool defined = i == kEditPresetsItem || P().settings.sizePresets[static_cast<size_t>(i)].width != 0;
        SendMessageW(box, CB_SETITEMDATA, static_cast<WPARAM>(at), defined ? 1 : 0);
    }
}

int TextWidth(HWND hwnd, HFONT font, const std::wstring& text) {
    win::WindowDC dc(hwnd);
    win::SelectObjectScope select(dc.Get(), font);
    SIZE size = {};
    GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// A vertical two-colour gradient, one line at a time.
void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
    const int h = r.bottom - r.top;
    for (int y = 0; y < h; ++y) {
        auto mix = [&](int a, int b) { return a + (b - a) * y / (h > 1 ? h - 1 : 1); };
        COLORREF c = RGB(mix(GetRValue(top), GetRValue(bottom)), mix(GetGValue(top), GetGValue(bottom)),
                         mix(GetBValue(top), GetBValue(bottom)));
        win::Brush brush(CreateSolidBrush(c));
        RECT line = {r.left, r.top + y, r.right, r.top + y + 1};
        FillRect(dc, &line, brush.Get());
    }
}

struct PresetDialogState {
    std::array<settings::SizePreset, 8> presets;
};

INT_PTR CALLBACK PresetDialogProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    PresetDialogState* state = reinterpret_cast<PresetDialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        state = reinterpret_cast<PresetDialogState*>(lp);
        for (int i = 0; i < kPresetCount; ++i) {
            const settings::SizePreset& p = state->presets[static_cast<size_t>(i)];
            SendDlgItemMessageW(dlg, kFirstWidthEdit + i, EM_LIMITTEXT, 4, 0);
            SendDlgItemMessageW(dlg, kFirstHeightEdit + i, EM_LIMITTEXT, 4, 0);
            if (p.width) {
                SetDlgItemInt(dlg, kFirstWidthEdit + i, static_cast<UINT>(p.width), FALSE);
                SetDlgItemInt(dlg, kFirstHeightEdit + i, static_cast<UINT>(p.height), FALSE);
            }
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            for (int i = 0; i < kPresetCount; ++i) {
                int width = static_cast<int>(GetDlgItemInt(dlg, kFirstWidthEdit + i, nullptr, FALSE));
                int height = static_cast<int>(GetDlgItemInt(dlg, kFirstHeightEdit + i, nullptr, FALSE));
                layout::Size size = layout::NormalisePreset(width, height);
                state->presets[static_cast<size_t>(i)] = {size.width, size.height};
            }
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void EditPresets(MainWindow& w) {
    PresetDialogState state;
    state.presets = P().settings.sizePresets;
    if (lang::DialogBoxFromModule(kPresetDialog, w.hwnd, PresetDialogProc, reinterpret_cast<LPARAM>(&state)) != IDOK)
        return;
    P().settings.sizePresets = state.presets;
    FillItems(w.sizeBox);
}

void ReloadBothPanes(MainWindow& w) {
    const int active = P().settings.activePane & 1;
    ReloadPane(w.panes[active]);
    ReloadPane(w.panes[active ^ 1]);
}

} // namespace

HWND CreateSizeBox(MainWindow& w, HWND parent, int x, int y) {
    const int width = layout::SizeBoxWidth(TextWidth(parent, w.font.Get(), lang::Text(20070)), w.digitWidth,
                                           dpi::SystemMetric(SM_CXVSCROLL, w.dpi), w.dpi);
    HWND box = CreateWindowExW(0, WC_COMBOBOXW, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
                                   CBS_HASSTRINGS,
                               x, y, width, Scaled(w, 400), parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdSizeBox)),
                               P().instance, nullptr);
    if (!box)
        return nullptr;
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(w.font.Get()), FALSE);
    FillItems(box);
    return box;
}

void OnSizeBoxMeasure(MainWindow& w, MEASUREITEMSTRUCT* mis) {
    // The closed box fits inside a toolbar button row.
    int height = w.buttonHeight - Scaled(w, 6);
    mis->itemHeight = static_cast<UINT>(height > w.textHeight ? height : w.textHeight);
}

void OnSizeBoxDraw(MainWindow& w, const DRAWITEMSTRUCT* dis) {
    HDC dc = dis->hDC;
    RECT r = dis->rcItem;
    const bool editPart = dis->itemID == static_cast<UINT>(-1) || (dis->itemState & ODS_COMBOBOXEDIT);
    std::wstring text;
    bool grey = false;
    if (editPart) {
        text = layout::SizeText(P().settings.thumbWidth, P().settings.thumbHeight);
    } else {
        text = ItemText(static_cast<int>(dis->itemID));
        grey = dis->itemData == 0;
    }
    if (dis->itemState & ODS_SELECTED) {
        FillGradient(dc, r, 0xFFFFE8, 0x909048);
    } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    }
    win::SelectObjectScope select(dc, w.font.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, grey ? 0x808080 : GetSysColor(COLOR_WINDOWTEXT));
    r.left += Scaled(w, 2);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void OnSizeBoxCloseUp(MainWindow& w) {
    settings::Settings& s = P().settings;
    const int item = static_cast<int>(SendMessageW(w.sizeBox, CB_GETCURSEL, 0, 0));
    if (item == kEditPresetsItem) {
        EditPresets(w);
    } else if (item >= 0 && item < kPresetCount) {
        settings::SizePreset& p = s.sizePresets[static_cast<size_t>(item)];
        if (p.width == 0) {
            p = {s.thumbWidth, s.thumbHeight};
            FillItems(w.sizeBox);
        } else if (p.width != s.thumbWidth || p.height != s.thumbHeight) {
            s.thumbWidth = p.width;
            s.thumbHeight = p.height;
            ReloadBothPanes(w);
        }
    }
    SendMessageW(w.sizeBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    InvalidateRect(w.sizeBox, nullptr, TRUE);
    SetFocus(PaneFocusTarget(w.panes[s.activePane & 1]));
}

void RefreshSizeBox(MainWindow& w) {
    FillItems(w.sizeBox);
    InvalidateRect(w.sizeBox, nullptr, TRUE);
}

} // namespace ui
