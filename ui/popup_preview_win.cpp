// The popup preview ("Quorle_popprv_class"): a sizeable borderless window that shows one picture at
// the preview size, keeps the picture's proportions while it is sized, and closes on a right click
// or when it loses activation.
#include <windowsx.h>

#include <cstdlib>

#include "app/decode_options.h"
#include "app/program_state_win.h"
#include "common/dpi.h"
#include "common/dpi_win.h"
#include "image/load.h"
#include "image/scale.h"
#include "ui/main_window_win.h"
#include "ui/commands.h"
#include "ui/popup_preview_win.h"

namespace ui {

namespace {

const wchar_t kPreviewClass[] = L"Quorle_popprv_class";
constexpr int kMoveCursor = 150;

enum class Mouse { Idle, Left, Right };

struct Preview {
    MainWindow* main = nullptr;
    image::ImagePtr picture;
    layout::PreviewGeometry geometry;
    // The frame at the preview's dpi: the window sizes of the rules are client plus frame.
    int frameWidth = 0;
    int frameHeight = 0;
    int screenDpi = dpi::kBase;
    // Set while the preview places itself: its rectangle is already the one for the new screen.
    bool placing = false;
    Mouse mouse = Mouse::Idle;
    POINT press = {};
};

app::Program& P() { return app::TheProgram(); }

Preview* PreviewOf(HWND hwnd) { return reinterpret_cast<Preview*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int PictureWidth(const Preview& v) { return v.picture ? image::Width(*v.picture) : 0; }
int PictureHeight(const Preview& v) { return v.picture ? image::Height(*v.picture) : 0; }

// Orientation 6 turns clockwise, 8 counter-clockwise, anything else but 1 half a turn. Greyscale
// pictures come as 8 bits through their colour table, which turning leaves as it is.
void Orient(image::DecodedImage& img, int orientation) {
    const int bits = image::BitCount(img);
    if (orientation == 1 || !img.pixels || (bits != 24 && bits != 8))
        return;
    const int kind = orientation == 6 ? 1 : orientation == 8 ? 3 : 2;
    int width = image::Width(img), height = image::Height(img);
    platform::PageBlock turned = image::RotateImage(img.pixels, &width, &height, kind, bits);
    if (!turned)
        return;
    image::AdoptPixels(img, std::move(turned));
    img.info.header.width = width;
    img.info.header.height = height;
}

layout::Rect ToRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// A sizeable popup with a client edge, as the preview is made, at `screenDpi`.
void MeasureFrame(Preview& v, int screenDpi) {
    RECT frame = {0, 0, 0, 0};
    dpi::AdjustRectFor(&frame, WS_POPUP | WS_THICKFRAME, WS_EX_CLIENTEDGE, screenDpi);
    v.frameWidth = frame.right - frame.left;
    v.frameHeight = frame.bottom - frame.top;
    v.screenDpi = screenDpi;
}

void ComputeGeometry(Preview& v) {
    const settings::Settings& s = P().settings;
    v.geometry = layout::ComputePreviewGeometry(PictureWidth(v), PictureHeight(v), s.previewSize, P().screenBound,
                                                v.frameWidth, v.frameHeight, v.screenDpi);
}

layout::Rect WorkAreaOf(const RECT& around) {
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromRect(&around, MONITOR_DEFAULTTONEAREST), &mi);
    return ToRect(mi.rcWork);
}

void Close(HWND hwnd, Preview& v) {
    if (GetCapture() == hwnd)
        ReleaseCapture();
    v.mouse = Mouse::Idle;
    ShowWindow(hwnd, SW_HIDE);
    v.picture.reset();
}

// A mouse assignment run for the active pane; commands go to the main window's dispatch.
void RunAssigned(Preview& v, int command) {
    if (command >= cmd::kMenuFile)
        PostMessageW(v.main->hwnd, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void OnPaint(HWND hwnd, Preview& v) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (v.picture && v.picture->pixels) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, PictureWidth(v), PictureHeight(v), v.picture->pixels,
                      reinterpret_cast<const BITMAPINFO*>(&v.picture->info), DIB_RGB_COLORS, SRCCOPY);
    } else {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
    }
    EndPaint(hwnd, &ps);
}

void OnSizing(Preview& v, int edge, RECT* r) {
    layout::Rect sized = layout::SizePreview(ToRect(*r), edge, PictureWidth(v), PictureHeight(v), v.frameWidth,
                                             v.frameHeight, v.geometry);
    *r = {sized.left, sized.top, sized.right, sized.bottom};
}

void OnMinMax(const Preview& v, MINMAXINFO* mm) {
    if (!v.picture)
        return;
    mm->ptMinTrackSize = {v.geometry.minWidth, v.geometry.minHeight};
    mm->ptMaxTrackSize = {v.geometry.maxWidth, v.geometry.maxHeight};
}

void OnButtonDown(HWND hwnd, Preview& v, bool left, WPARAM keys, LPARAM lp) {
    const WPARAM both = MK_LBUTTON | MK_RBUTTON;
    if ((keys & both) == both) {
        // Both buttons: the rocker assignment.
        if (GetCapture() == hwnd)
            ReleaseCapture();
        v.mouse = Mouse::Idle;
        RunAssigned(v, P().settings.previewBothButtons);
        return;
    }
    if ((keys & (both | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2)) != (left ? MK_LBUTTON : MK_RBUTTON))
        return;
    SetCapture(hwnd);
    v.mouse = left ? Mouse::Left : Mouse::Right;
    v.press = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
}

void OnMouseMove(HWND hwnd, Preview& v, LPARAM lp) {
    if (v.mouse != Mouse::Left)
        return;
    const int moved = std::abs(GET_X_LPARAM(lp) - v.press.x) + std::abs(GET_Y_LPARAM(lp) - v.press.y);
    // The threshold is stored at 96 dpi, like every length the program keeps.
    if (moved <= dpi::Scale(P().settings.gestureThreshold, v.screenDpi))
        return;
    v.mouse = Mouse::Idle;
    ReleaseCapture();
    SetCursor(LoadCursorW(P().instance, MAKEINTRESOURCEW(kMoveCursor)));
    POINT screen = v.press;
    ClientToScreen(hwnd, &screen);
    SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
}

void OnButtonUp(HWND hwnd, Preview& v, bool left) {
    const Mouse was = v.mouse;
    if ((left && was != Mouse::Left) || (!left && was != Mouse::Right))
        return;
    v.mouse = Mouse::Idle;
    ReleaseCapture();
    if (left)
        RunAssigned(v, P().settings.previewClick);
    else
        Close(hwnd, v);
}

LRESULT CALLBACK PreviewProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Preview* v = PreviewOf(hwnd);
    if (message == WM_NCCREATE) {
        v = new Preview;
        v->main = reinterpret_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
    }
    if (!v)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        OnPaint(hwnd, *v);
        return 0;
    case WM_SIZING:
        OnSizing(*v, static_cast<int>(wp), reinterpret_cast<RECT*>(lp));
        return TRUE;
    case WM_GETMINMAXINFO:
        OnMinMax(*v, reinterpret_cast<MINMAXINFO*>(lp));
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen of another dpi: the limits follow it, the suggested rectangle is taken.
        if (v->placing)
            return 0;
        MeasureFrame(*v, HIWORD(wp));
        if (v->picture)
            ComputeGeometry(*v);
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_EXITSIZEMOVE: {
        // The size the user chose is the picture's new client size; it is drawn again at it.
        RECT rc;
        GetClientRect(hwnd, &rc);
        v->geometry.clientWidth = rc.right;
        v->geometry.clientHeight = rc.bottom;
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        OnButtonDown(hwnd, *v, message == WM_LBUTTONDOWN, wp, lp);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(hwnd, *v, lp);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        OnButtonUp(hwnd, *v, message == WM_LBUTTONUP);
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != hwnd)
            v->mouse = Mouse::Idle;
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE && IsWindowVisible(hwnd))
            Close(hwnd, *v);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete v;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

} // namespace

bool RegisterPopupPreviewClass(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PreviewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kPreviewClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreatePopupPreview(MainWindow& w) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, kPreviewClass, nullptr, WS_POPUP | WS_THICKFRAME, 0, 0, 200, 150, w.client,
                           nullptr, P().instance, &w);
}

bool ShowPopupPreview(MainWindow& w, const std::wstring& path, const RECT& cell, image::ArchiveMemberSource* member) {
    Preview* v = w.popup ? PreviewOf(w.popup) : nullptr;
    if (!v)
        return false;
    Close(w.popup, *v);
    const settings::Settings& s = P().settings;
    int orientation = 1;
    // The preview opens on the cell's screen, at that screen's dpi.
    MeasureFrame(*v, dpi::OfPoint({(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2}));
    const uint32_t fit = static_cast<uint32_t>(layout::PreviewFit(s.previewSize, v->screenDpi));
    v->picture = member ? image::LoadImageFromArchiveMember(*member, &orientation, fit, settings::DecodeOptionsOf(s))
                        : image::LoadImageFromFile(path, &orientation, fit, settings::DecodeOptionsOf(s));
    if (!v->picture || !v->picture->pixels) {
        v->picture.reset();
        return false;
    }
    if (s.exifOrientation)
        Orient(*v->picture, orientation);
    ComputeGeometry(*v);
    const int fw = v->frameWidth, fh = v->frameHeight;
    RECT client, tree;
    GetWindowRect(w.client, &client);
    int minLeft = client.left;
    if (!s.treeHidden && GetWindowRect(w.treeArea, &tree))
        minLeft = tree.right;
    layout::Rect r = layout::PlacePreview(ToRect(cell), v->geometry.clientWidth + fw, v->geometry.clientHeight + fh,
                                          client.top, minLeft, WorkAreaOf(cell));
    v->placing = true;
    SetWindowPos(w.popup, HWND_TOP, r.left, r.top, r.Width(), r.Height(), SWP_SHOWWINDOW);
    v->placing = false;
    return true;
}

void ClosePopupPreview(MainWindow& w) {
    if (Preview* v = w.popup ? PreviewOf(w.popup) : nullptr)
        Close(w.popup, *v);
}

} // namespace ui
