#include "ui/caption_lines_dialog_win.h"

#include <array>

#include "app/language_win.h"

namespace ui {

namespace {

constexpr UINT kTemplate = 2300;
// Check boxes in line order: name, size, bit depth, date.
constexpr std::array<int, 4> kLineChecks = {2301, 2302, 2303, 2304};

struct DialogState {
    RECT button;
    std::array<bool, 4> lines;
};

std::array<bool*, 4> LineFields(settings::Settings& s) {
    return {&s.captionName, &s.captionSize, &s.captionBitDepth, &s.captionDate};
}

RECT WorkAreaOf(const RECT& r) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info))
        return info.rcWork;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

void OnInitDialog(HWND dlg, DialogState& state) {
    for (size_t i = 0; i < kLineChecks.size(); ++i)
        CheckDlgButton(dlg, kLineChecks[i], state.lines[i] ? BST_CHECKED : BST_UNCHECKED);
    RECT r = {};
    GetWindowRect(dlg, &r);
    const RECT placed = PlaceUnderButton(state.button, r.right - r.left, r.bottom - r.top, WorkAreaOf(state.button));
    SetWindowPos(dlg, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnOk(HWND dlg, DialogState& state) {
    for (size_t i = 0; i < kLineChecks.size(); ++i)
        state.lines[i] = IsDlgButtonChecked(dlg, kLineChecks[i]) == BST_CHECKED;
    EndDialog(dlg, IDOK);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        OnInitDialog(dlg, *reinterpret_cast<DialogState*>(lp));
        return TRUE;
    }
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!state || message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wp)) {
    case IDOK: OnOk(dlg, *state); return TRUE;
    case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
    }
    return FALSE;
}

} // namespace

RECT PlaceUnderButton(const RECT& button, int width, int height, const RECT& work) {
    int x = button.left;
    int y = button.bottom;
    // Like a drop-down menu: flip above the button when there is no room below.
    if (y + height > work.bottom && button.top - height >= work.top)
        y = button.top - height;
    if (x + width > work.right)
        x = work.right - width;
    if (y + height > work.bottom)
        y = work.bottom - height;
    // A dialog larger than the work area keeps its caption and left edge reachable.
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    return {x, y, x + width, y + height};
}

bool RunCaptionLinesDialog(HWND owner, const RECT& button, settings::Settings& s) {
    DialogState state = {button, {}};
    const std::array<bool*, 4> fields = LineFields(s);
    for (size_t i = 0; i < fields.size(); ++i)
        state.lines[i] = *fields[i];
    if (lang::DialogBoxFromModule(kTemplate, owner, DialogProc, reinterpret_cast<LPARAM>(&state)) != IDOK)
        return false;
    bool changed = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        changed |= *fields[i] != state.lines[i];
        *fields[i] = state.lines[i];
    }
    return changed;
}

} // namespace ui
