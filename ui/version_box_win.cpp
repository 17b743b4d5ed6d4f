#include "ui/version_box_win.h"

#include <shellapi.h>

#include <string>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "app/shortcut_table.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "common/scoped_win.h"

namespace ui {

namespace {

const wchar_t kBoxClass[] = L"version_info_class";
const wchar_t kLinkClass[] = L"version_url_class";

constexpr int kIdName = 100;
constexpr int kIdNotice = 101;
constexpr int kIdLink = 102;
constexpr UINT kCaption = 5330;

// The version record, built when the box opens.
struct VersionBox {
    std::wstring nameLine;
    std::wstring noticeLine;
    std::wstring link;
    HFONT font = nullptr;
    int screenDpi = dpi::kBase; // of the main window's screen, where the box opens
    bool alive = false;
};

VersionBox MakeRecord(HFONT font) {
    VersionBox box;
    box.nameLine = std::wstring(L"Quorle") + L" version " + L"3.6.0.2 (64-bit)";
    // It must fit the line's 250 pixels at 96 dpi (the control ends a longer text with an ellipsis);
    // the line and the font both scale with the screen, so it fits at every dpi.
    box.noticeLine = L"(C) 2026 the Quorle developers";
    box.link = L"https://quorle.example/";
    box.font = font;
    return box;
}

VersionBox* BoxOf(HWND hwnd) { return reinterpret_cast<VersionBox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void OpenLink(const VersionBox& box) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = box.link.c_str();
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info);
}

// ---- the link line ------------------------------------------------------------------------------

void LinkOnPaint(HWND hwnd, const VersionBox& box) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    win::SelectObjectScope select(dc, box.font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SetTextColor(dc, RGB(0, 0, 0xFF));
    SetBkMode(dc, TRANSPARENT);
    const int y = (rc.bottom - tm.tmHeight) / 2;
    ExtTextOutW(dc, 0, y, ETO_CLIPPED, &rc, box.link.c_str(), static_cast<UINT>(box.link.size()), nullptr);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    const VersionBox* box = BoxOf(GetParent(hwnd));
    switch (message) {
    case WM_PAINT:
        if (box) {
            LinkOnPaint(hwnd, *box);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        if (box)
            OpenLink(*box);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

// ---- the box ------------------------------------------------------------------------------------

// The lines' rectangles at 96 dpi: three rows of 250 x 20, 20 apart.
constexpr int kLineLeft = 12, kLineWidth = 250, kLineHeight = 20;
constexpr int kNameTop = 7, kNoticeTop = 27, kLinkTop = 47;
// The client at 96 dpi, around the lines.
constexpr int kClientWidth = 274, kClientHeight = 75;

void AddLine(HWND box, int id, int top, const std::wstring& text, const VersionBox& record) {
    const int d = record.screenDpi;
    HWND line = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE | SS_ENDELLIPSIS,
                                dpi::Scale(kLineLeft, d), dpi::Scale(top, d), dpi::Scale(kLineWidth, d),
                                dpi::Scale(kLineHeight, d), box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                app::TheProgram().instance, nullptr);
    SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(record.font), FALSE);
}

LRESULT OnCreate(HWND hwnd, VersionBox& box) {
    HMENU system = GetSystemMenu(hwnd, FALSE);
    for (UINT item : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(system, item, MF_BYCOMMAND);
    AddLine(hwnd, kIdName, kNameTop, box.nameLine, box);
    AddLine(hwnd, kIdNotice, kNoticeTop, box.noticeLine, box);
    const int d = box.screenDpi;
    CreateWindowExW(0, kLinkClass, nullptr, WS_CHILD | WS_VISIBLE, dpi::Scale(kLineLeft, d), dpi::Scale(kLinkTop, d),
                    dpi::Scale(kLineWidth, d), dpi::Scale(kLineHeight, d), hwnd,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdLink)), app::TheProgram().instance, nullptr);
    return 0;
}

void OnClose(HWND hwnd) {
    // The owner comes back on top before the box goes, so no other program's window is activated.
    if (HWND owner = GetWindow(hwnd, GW_OWNER))
        SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    DestroyWindow(hwnd);
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    VersionBox* box = BoxOf(hwnd);
    if (message == WM_NCCREATE) {
        box = reinterpret_cast<VersionBox*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
        box->alive = true;
    }
    if (!box)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_CREATE:
        return OnCreate(hwnd, *box);
    case WM_COMMAND:
        if (LOWORD(wp) == kIdLink)
            OpenLink(*box);
        return 0;
    case WM_CLOSE:
        OnClose(hwnd);
        return 0;
    case WM_DESTROY:
        box->alive = false;
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

WNDCLASSEXW ClassOf(const wchar_t* name, WNDPROC proc, const wchar_t* cursor) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = app::TheProgram().instance;
    wc.hCursor = LoadCursorW(nullptr, cursor);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return wc;
}

} // namespace

void ShowVersionBox(HWND main, HFONT font) {
    app::Program& p = app::TheProgram();
    EnableWindow(main, FALSE);
    p.acceleratorsSuspended = 1;
    {
        VersionBox box = MakeRecord(font);
        box.screenDpi = dpi::OfWindow(main);
        win::WindowClass boxClass(ClassOf(kBoxClass, BoxProc, IDC_ARROW));
        win::WindowClass linkClass(ClassOf(kLinkClass, LinkProc, IDC_HAND));
        const int d = box.screenDpi;
        const int frame = dpi::SystemMetric(SM_CYDLGFRAME, d);
        const int width = 2 * frame + dpi::Scale(kClientWidth, d);
        const int height = 2 * frame + dpi::SystemMetric(SM_CYCAPTION, d) + dpi::Scale(kClientHeight, d);
        RECT r = {};
        GetWindowRect(main, &r);
        const int left = (r.left + r.right - width) >> 1;
        const int top = (r.top + r.bottom - height) >> 1;
        const std::wstring title = shortcuts::StripMnemonics(lang::Text(kCaption));
        HWND hwnd = boxClass && linkClass
                        ? CreateWindowExW(WS_EX_DLGMODALFRAME, kBoxClass, title.c_str(),
                                          WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU, left, top, width, height, main,
                                          nullptr, p.instance, &box)
                        : nullptr;
        MSG m;
        while (hwnd && box.alive && GetMessageW(&m, nullptr, 0, 0) > 0) {
            if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE && (m.hwnd == hwnd || IsChild(hwnd, m.hwnd))) {
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
                continue;
            }
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        // A WM_QUIT taken by this loop belongs to the program's own loop.
        if (hwnd && box.alive) {
            DestroyWindow(hwnd);
            PostQuitMessage(static_cast<int>(m.wParam));
        }
    }
    EnableWindow(main, TRUE);
    p.acceleratorsSuspended = 0;
}

} // namespace ui
