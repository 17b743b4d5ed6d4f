// The rebar with its two bands: the menu bar (four text buttons) and the command toolbar with the
// thumbnail-size box. Both toolbars are drawn by the program (custom draw).
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "ui/commands.h"
#include "ui/main_window_win.h"
#include "app/shortcut_table.h"
#include "ui/size_box_win.h"
#include "ui/toolbars_win.h"

namespace ui {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr COLORREF kRebarBack = 0xF0F0F0;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
// The command images, drawn at 16, 24 and 32 pixels for 100, 150 and 200 %.
constexpr int kToolbarArt100 = 170;
constexpr int kToolbarArt150 = 171;
constexpr int kToolbarArt200 = 172;

int ImageSide(const MainWindow& w) { return dpi::ArtSize(16, w.dpi); }

int ToolbarArt(int windowDpi) {
    switch (dpi::ArtPercent(windowDpi)) {
    case 150: return kToolbarArt150;
    case 200: return kToolbarArt200;
    default: return kToolbarArt100;
    }
}

struct CommandButton {
    int command; // 0 for a separator
    int image;
    BYTE style;
};

const CommandButton kCommandButtons[] = {
    {5110, 0, BTNS_CHECK},
    {0, 0, BTNS_SEP},
    {5123, 1, BTNS_CHECKGROUP},
    {5121, 2, BTNS_CHECKGROUP},
    {5122, 3, BTNS_CHECKGROUP},
    {0, 0, BTNS_SEP},
    {5180, 4, BTNS_CHECK},
    {0, 0, BTNS_SEP},
    {5130, 5, BTNS_CHECK},
    {5140, 6, BTNS_WHOLEDROPDOWN},
    {0, 0, BTNS_SEP},
    {5161, 7, BTNS_BUTTON},
    {5160, 8, BTNS_BUTTON},
    {0, 0, BTNS_SEP},
    {5700, 9, BTNS_WHOLEDROPDOWN},
    {5800, 10, BTNS_WHOLEDROPDOWN},
    {0, 0, BTNS_SEP},
    {5400, 11, BTNS_WHOLEDROPDOWN},
};

// Tooltips of these name only the command's string, without a shortcut.
bool PlainTooltip(int command) {
    return command == cmd::kFitAcrossMenu || command == cmd::kFilterMenu || command == cmd::kSortMenu;
}

app::Program& P() { return app::TheProgram(); }

std::wstring MenuCaption(int i) { return lang::Text(5000 + i) + lang::Text(15000 + i); }

int TextWidth(HWND hwnd, HFONT font, const std::wstring& text) {
    win::WindowDC dc(hwnd);
    win::SelectObjectScope select(dc.Get(), font);
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_HIDEPREFIX);
    return r.right - r.left;
}

HWND CreateToolbar(MainWindow& w, int id, DWORD extraStyle) {
    HWND tb = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER |
                                  TBSTYLE_FLAT | extraStyle,
                              0, 0, 0, 0, w.rebar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              P().instance, nullptr);
    if (!tb)
        return nullptr;
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(tb, TB_SETBITMAPSIZE, 0, MAKELPARAM(ImageSide(w), ImageSide(w)));
    SendMessageW(tb, WM_SETFONT, reinterpret_cast<WPARAM>(w.font.Get()), FALSE);
    SendMessageW(tb, TB_SETTOOLTIPS, reinterpret_cast<WPARAM>(w.tooltip), 0);
    return tb;
}

int ButtonCount(HWND tb) { return static_cast<int>(SendMessageW(tb, TB_BUTTONCOUNT, 0, 0)); }

int IdealWidth(HWND tb) {
    RECT r = {};
    int n = ButtonCount(tb);
    if (n > 0)
        SendMessageW(tb, TB_GETITEMRECT, static_cast<WPARAM>(n - 1), reinterpret_cast<LPARAM>(&r));
    return r.right;
}

void FitButtonHeight(MainWindow& w, HWND tb) {
    DWORD size = static_cast<DWORD>(SendMessageW(tb, TB_GETBUTTONSIZE, 0, 0));
    // The toolbar's own padding around an image does not grow with the dpi everywhere.
    const int width = std::max<int>(LOWORD(size), ImageSide(w) + Scaled(w, 7));
    if (HIWORD(size) != w.buttonHeight || LOWORD(size) != width)
        SendMessageW(tb, TB_SETBUTTONSIZE, 0, MAKELPARAM(width, w.buttonHeight));
    SendMessageW(tb, TB_AUTOSIZE, 0, 0);
}

bool CreateMenuBar(MainWindow& w) {
    // TBSTYLE_LIST keeps the caption on one line without space for an image.
    w.menuBar = CreateToolbar(w, kIdMenuBar, TBSTYLE_LIST);
    if (!w.menuBar)
        return false;
    SendMessageW(w.menuBar, TB_SETIMAGELIST, 0, 0);
    std::wstring captions[4];
    TBBUTTON buttons[4] = {};
    for (int i = 0; i < 4; ++i) {
        captions[i] = MenuCaption(i);
        buttons[i].iBitmap = I_IMAGENONE;
        buttons[i].idCommand = cmd::kMenuFile + i;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_DROPDOWN;
        buttons[i].iString = reinterpret_cast<INT_PTR>(captions[i].c_str());
    }
    SendMessageW(w.menuBar, TB_ADDBUTTONSW, 4, reinterpret_cast<LPARAM>(buttons));
    for (int i = 0; i < 4; ++i) {
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_SIZE;
        info.cx = static_cast<WORD>(layout::MenuBarButtonWidth(TextWidth(w.menuBar, w.font.Get(), captions[i]), w.dpi));
        SendMessageW(w.menuBar, TB_SETBUTTONINFOW, cmd::kMenuFile + i, reinterpret_cast<LPARAM>(&info));
    }
    FitButtonHeight(w, w.menuBar);
    for (int i = 0; i < 4; ++i)
        SendMessageW(w.menuBar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&w.menuButtons[i]));
    return true;
}

// Hands the size box's notifications and owner-draw messages on to the main window.
LRESULT CALLBACK CommandBarSubclass(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    switch (message) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return SendMessageW(reinterpret_cast<HWND>(ref), message, wp, lp);
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

bool CreateCommandBar(MainWindow& w) {
    w.commandBar = CreateToolbar(w, kIdCommandBar, 0);
    if (!w.commandBar)
        return false;
    w.commandImages.Reset(ImageList_LoadImageW(P().instance, MAKEINTRESOURCEW(ToolbarArt(w.dpi)), ImageSide(w), 0,
                                               kMagenta, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    SendMessageW(w.commandBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(w.commandImages.Get()));
    TBBUTTON buttons[sizeof kCommandButtons / sizeof kCommandButtons[0]] = {};
    int n = 0;
    for (const CommandButton& b : kCommandButtons) {
        TBBUTTON& t = buttons[n++];
        t.iBitmap = b.command ? b.image : 0;
        t.idCommand = b.command;
        t.fsState = b.command ? TBSTATE_ENABLED : 0;
        t.fsStyle = b.style;
        t.iString = -1;
    }
    SendMessageW(w.commandBar, TB_ADDBUTTONSW, n, reinterpret_cast<LPARAM>(buttons));
    FitButtonHeight(w, w.commandBar);
    SetWindowSubclass(w.commandBar, CommandBarSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(w.hwnd));
    w.sizeBox = CreateSizeBox(w, w.commandBar, IdealWidth(w.commandBar) + Scaled(w, 6), Scaled(w, 2));
    return true;
}

void AddBand(MainWindow& w, HWND child, int width) {
    REBARBANDINFOW band = {};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_HEADERSIZE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_NOGRIPPER;
    band.hwndChild = child;
    band.cxMinChild = static_cast<UINT>(width);
    band.cyMinChild = static_cast<UINT>(w.buttonHeight + Scaled(w, 2));
    band.cx = static_cast<UINT>(width + Scaled(w, 14));
    band.cxHeader = static_cast<UINT>(Scaled(w, 3));
    SendMessageW(w.rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

int SizeBoxOuterWidth(const MainWindow& w) {
    if (!w.sizeBox)
        return 0;
    RECT r;
    GetWindowRect(w.sizeBox, &r);
    return Scaled(w, 6) + (r.right - r.left);
}

// Custom draw of one toolbar item: a tinted frame for hot, pressed and checked buttons, then the
// image (greyed when disabled) and the caption.
void DrawItem(MainWindow& w, NMTBCUSTOMDRAW* cd) {
    HDC dc = cd->nmcd.hdc;
    RECT r = cd->nmcd.rc;
    const UINT state = cd->nmcd.uItemState;
    const bool disabled = (state & (CDIS_DISABLED | CDIS_GRAYED)) != 0;
    COLORREF fill = 0, frame = 0;
    bool tinted = true;
    if (!disabled && (state & CDIS_SELECTED)) {
        fill = RGB(0xC4, 0xD8, 0xF0);
        frame = RGB(0x50, 0x78, 0xB0);
    } else if (state & CDIS_CHECKED) {
        fill = (state & CDIS_HOT) ? RGB(0xC4, 0xD8, 0xF0) : RGB(0xD8, 0xE6, 0xF6);
        frame = RGB(0x50, 0x78, 0xB0);
    } else if (!disabled && (state & CDIS_HOT)) {
        fill = RGB(0xE4, 0xEE, 0xFA);
        frame = RGB(0x88, 0xA8, 0xD8);
    } else {
        tinted = false;
    }
    if (tinted) {
        win::Brush brush(CreateSolidBrush(fill));
        FillRect(dc, &r, brush.Get());
        win::Brush edge(CreateSolidBrush(frame));
        FrameRect(dc, &r, edge.Get());
    }
    const int command = static_cast<int>(cd->nmcd.dwItemSpec);
    if (cd->nmcd.hdr.hwndFrom == w.menuBar) {
        const std::wstring caption = MenuCaption(command - 5000);
        win::SelectObjectScope select(dc, w.font.Get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_HIDEPREFIX);
        return;
    }
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_IMAGE | TBIF_STYLE;
    SendMessageW(w.commandBar, TB_GETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info));
    const bool dropDown = (info.fsStyle & BTNS_WHOLEDROPDOWN) != 0;
    const int side = ImageSide(w);
    const int x = dropDown ? r.left + Scaled(w, 3) : r.left + (r.right - r.left - side) / 2;
    const int y = r.top + (r.bottom - r.top - side) / 2;
    if (w.commandImages.Get()) {
        if (disabled) {
            HICON icon = ImageList_GetIcon(w.commandImages.Get(), info.iImage, ILD_TRANSPARENT);
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, side, side,
                       DST_ICON | DSS_DISABLED);
            if (icon)
                DestroyIcon(icon);
        } else {
            ImageList_Draw(w.commandImages.Get(), info.iImage, dc, x, y, ILD_TRANSPARENT);
        }
    }
    if (dropDown) {
        // A small triangle, three rows at 96 dpi, drawn row by row so it stays solid when scaled.
        const int rows = Scaled(w, 3);
        const int ax = r.right - Scaled(w, 9), ay = r.top + (r.bottom - r.top) / 2 - Scaled(w, 1);
        win::Pen pen(CreatePen(PS_SOLID, 1, disabled ? GetSysColor(COLOR_GRAYTEXT) : RGB(0, 0, 0)));
        win::SelectObjectScope select(dc, pen.Get());
        for (int i = 0; i < rows; ++i) {
            MoveToEx(dc, ax + i, ay + i, nullptr);
            LineTo(dc, ax + 2 * rows - 1 - i, ay + i);
        }
    }
}

LRESULT OnCustomDraw(MainWindow& w, NMTBCUSTOMDRAW* cd) {
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        DrawItem(w, cd);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_DODEFAULT;
}

void AddTool(MainWindow& w, HWND owner, UINT_PTR id, const RECT* rect, const std::wstring& text, UINT flags) {
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_SUBCLASS | flags;
    ti.hwnd = owner;
    ti.uId = id;
    if (rect)
        ti.rect = *rect;
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(w.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

} // namespace

bool CreateRebar(MainWindow& w) {
    w.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w.hwnd, nullptr, P().instance, nullptr);
    w.rebar = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER | RBS_VARHEIGHT |
                                  RBS_BANDBORDERS | RBS_FIXEDORDER | RBS_DBLCLKTOGGLE | CCS_NODIVIDER,
                              0, 0, 0, 0, w.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdRebar)),
                              P().instance, nullptr);
    if (!w.rebar)
        return false;
    SetWindowTheme(w.rebar, L"", L"");
    SendMessageW(w.rebar, RB_SETBKCOLOR, 0, kRebarBack);
    SendMessageW(w.rebar, WM_SETFONT, reinterpret_cast<WPARAM>(w.font.Get()), FALSE);
    REBARINFO info = {};
    info.cbSize = sizeof info;
    SendMessageW(w.rebar, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    if (!CreateMenuBar(w) || !CreateCommandBar(w))
        return false;
    AddBand(w, w.menuBar, IdealWidth(w.menuBar));
    AddBand(w, w.commandBar, IdealWidth(w.commandBar) + SizeBoxOuterWidth(w));
    RebuildTooltips(w);
    return true;
}

void UpdateToolbarChecks(MainWindow& w) {
    if (!w.commandBar)
        return;
    const settings::Settings& s = P().settings;
    auto check = [&w](int command, bool on) { SendMessageW(w.commandBar, TB_CHECKBUTTON, command, MAKELPARAM(on, 0)); };
    check(cmd::kToggleTree, s.treeHidden);
    check(cmd::kBothPanes, s.paneLayout == layout::kLayoutBoth);
    check(cmd::kPane1Only, s.paneLayout == layout::kLayoutPane1);
    check(cmd::kPane2Only, s.paneLayout == layout::kLayoutPane2);
    check(cmd::kPreviewOnClick, s.clickOpensPreview);
    check(cmd::kCaptions, s.showCaptions);
}

void RebuildTooltips(MainWindow& w) {
    if (!w.tooltip)
        return;
    while (int count = static_cast<int>(SendMessageW(w.tooltip, TTM_GETTOOLCOUNT, 0, 0))) {
        wchar_t text[1024];
        TTTOOLINFOW ti = {};
        ti.cbSize = sizeof ti;
        ti.lpszText = text; // enumeration copies the tool's text
        if (!SendMessageW(w.tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&ti)))
            break;
        SendMessageW(w.tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    int index = 0;
    for (const CommandButton& b : kCommandButtons) {
        const int at = index++;
        if (!b.command)
            continue;
        std::wstring text = lang::Text(static_cast<UINT>(b.command));
        const std::wstring key = shortcuts::ShortcutText(P().shortcuts.slots, static_cast<uint16_t>(b.command));
        if (!PlainTooltip(b.command) && !key.empty())
            text += L" (" + key + L")";
        RECT r = {};
        SendMessageW(w.commandBar, TB_GETITEMRECT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&r));
        AddTool(w, w.commandBar, static_cast<UINT_PTR>(b.command), &r, text, 0);
    }
    if (w.sizeBox)
        AddTool(w, w.commandBar, reinterpret_cast<UINT_PTR>(w.sizeBox), nullptr, lang::Text(kIdSizeBox), TTF_IDISHWND);
}

LRESULT OnToolbarNotify(MainWindow& w, NMHDR* hdr) {
    if (hdr->hwndFrom != w.menuBar && hdr->hwndFrom != w.commandBar)
        return 0;
    if (hdr->code == NM_CUSTOMDRAW)
        return OnCustomDraw(w, reinterpret_cast<NMTBCUSTOMDRAW*>(hdr));
    if (hdr->code == TBN_DROPDOWN)
        return TBDDRET_DEFAULT;
    return 0;
}

void RemoveToolbarSubclasses(MainWindow& w) {
    if (w.commandBar)
        RemoveWindowSubclass(w.commandBar, CommandBarSubclass, kSubclassId);
}

} // namespace ui
