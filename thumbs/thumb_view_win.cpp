#include "thumbs/thumb_view_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/dpi.h"
#include "common/dpi_win.h"
#include "common/scoped_win.h"
#include "folder/captions.h"
#include "folder/sorting.h"
#include "thumbs/thumb_pipeline.h"
#include "thumbs/thumb_worker_win.h"

namespace thumbs {

namespace {

const wchar_t* const kAreaClass[2] = {L"Quorle_thbs1_class", L"Quorle_thbs2_class"};
const wchar_t* const kPictureClass[2] = {L"Quorle_thimg1_class", L"Quorle_thimg2_class"};
const wchar_t* const kTextClass[2] = {L"Quorle_thtxt1_class", L"Quorle_thtxt2_class"};

constexpr COLORREF kActiveBack = 0xD4CCCC;
constexpr COLORREF kInactiveBack = 0xA49C9C;
constexpr COLORREF kTextBack = 0xF8F0F0;
constexpr COLORREF kInactiveSelection = 0xD4CCCC;
constexpr COLORREF kLineColours[2] = {0x000000, 0x8C4600};
constexpr int kGestureCursorBase = 158;

// Indices into Settings::mouseCommands (keys 143..157).
constexpr int kMouseDoubleClick = 0;
constexpr int kMouseBothButtons = 1;
constexpr int kMouseMiddle = 2;
constexpr int kMouseX1 = 3;
constexpr int kMouseX2 = 4;
constexpr int kMouseWheelUp = 5;
constexpr int kMouseWheelDown = 6;
constexpr int kMouseRightGesture = 7;
constexpr int kMouseLeftGesture = 11;

enum class Mode { Idle, LeftPressed, RightPressed, LeftGesture, RightGesture, Blocked };
enum class Where { Area, Picture, Text };

struct Cell {
    HWND picture = nullptr;
    HWND text = nullptr;
};

} // namespace

struct ThumbView {
    HWND area = nullptr;
    int pane = 0;
    HINSTANCE instance = nullptr;
    HFONT font = nullptr;
    int dpi = 96; // the main window's: the font was made for it
    const settings::Settings* settings = nullptr;
    ViewHost* host = nullptr;
    std::wstring placeholder;

    folder::ThumbItemArray items;
    // Where each entry of the load's listing is now (kNoItem once removed): results name items by
    // entry, and sorting and removal move them.
    std::vector<size_t> positions;
    size_t count = 0;
    size_t selected = 0;
    size_t anchor = kNoItem;
    size_t first = 0;
    std::vector<Cell> pool;
    bool active = false;

    int fontHeight = 0;
    int lineHeight = 0;
    int textHeight = 0;
    int boxWidth = 140;
    int boxHeight = 105;
    int cellWidth = 140;
    int cellHeight = 105;
    bool border = true;
    int columns = 1;
    int rows = 1;
    bool inLayout = false;

    Mode mode = Mode::Idle;
    int direction = 0;
    POINT press = {};
    Where pressWhere = Where::Area;
    size_t pressItem = kNoItem;
};

namespace {

const settings::Settings& S(const ThumbView& v) { return *v.settings; }

ThumbView* ViewOfCell(HWND cell) {
    HWND area = GetParent(cell);
    return area ? ThumbViewOf(area) : nullptr;
}

size_t ItemOf(HWND cell) { return static_cast<size_t>(GetWindowLongPtrW(cell, GWLP_USERDATA)); }

folder::ThumbItem* Item(ThumbView& v, size_t index) { return index < v.count ? &v.items.items[index] : nullptr; }

COLORREF Background(const ThumbView& v) { return v.active ? kActiveBack : kInactiveBack; }
COLORREF SelectionColour(const ThumbView& v) {
    return v.active ? static_cast<COLORREF>(S(v).activePaneColour) : kInactiveSelection;
}

void Fill(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
    if (right <= left || bottom <= top)
        return;
    RECT r = {left, top, right, bottom};
    FillRect(dc, &r, brush);
}

void RecordPositions(ThumbView& v) {
    std::fill(v.positions.begin(), v.positions.end(), kNoItem);
    for (size_t i = 0; i < v.count; ++i)
        if (v.items.items[i].entry < v.positions.size())
            v.positions[v.items.items[i].entry] = i;
}

// The gesture cursors hold images for 100, 150 and 200 %; the one for the view's dpi is loaded once
// and kept for the life of the process (SetCursor borrows it).
HCURSOR GestureCursor(const ThumbView& v, int dir) {
    static HCURSOR loaded[3][4] = {};
    const int percent = dpi::ArtPercent(v.dpi);
    const int set = percent == 200 ? 2 : percent == 150 ? 1 : 0;
    HCURSOR& c = loaded[set][dir & 3];
    if (!c) {
        const int side = dpi::ArtSize(32, v.dpi);
        c = static_cast<HCURSOR>(
            LoadImageW(v.instance, MAKEINTRESOURCEW(kGestureCursorBase + (dir & 3)), IMAGE_CURSOR, side, side, 0));
        if (!c)
            c = LoadCursorW(v.instance, MAKEINTRESOURCEW(kGestureCursorBase + (dir & 3)));
    }
    return c;
}

void ComputeGeometry(ThumbView& v) {
    const settings::Settings& s = S(v);
    {
        win::WindowDC dc(v.area);
        win::SelectObjectScope select(dc.Get(), v.font ? static_cast<HGDIOBJ>(v.font) : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW tm = {};
        GetTextMetricsW(dc.Get(), &tm);
        v.fontHeight = tm.tmHeight;
    }
    // The font was made for the screen's dpi; the gap between lines, a 96-dpi length, follows it.
    const int windowDpi = v.dpi;
    v.lineHeight = v.fontHeight + dpi::Scale(2, windowDpi);
    const int lines = int(s.captionName) + int(s.captionSize) + int(s.captionBitDepth) + int(s.captionDate);
    v.textHeight = !s.showCaptions ? 0 : v.lineHeight * (lines ? lines : 1);
    v.boxWidth = ClampBoxSide(s.thumbWidth);
    v.boxHeight = ClampBoxSide(s.thumbHeight);
    v.border = s.thumbBorder;
    // The box stays in pixels of the picture (the cache does not change with the screen); the edge
    // around it is the system's at the window's dpi.
    v.cellWidth = v.boxWidth + (v.border ? dpi::SystemMetric(SM_CXEDGE, windowDpi) : 0);
    v.cellHeight = v.boxHeight + v.textHeight + (v.border ? dpi::SystemMetric(SM_CYEDGE, windowDpi) : 0);
}

void RepaintCell(HWND picture) {
    if (picture)
        RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void RepaintPool(ThumbView& v) {
    for (const Cell& c : v.pool)
        if (IsWindowVisible(c.picture))
            RepaintCell(c.picture);
}

void ForgetWindows(ThumbView& v) {
    for (folder::ThumbItem& item : v.items.items) {
        item.cellWindow = nullptr;
        item.textWindow = nullptr;
    }
}

void DestroyPool(ThumbView& v) {
    ForgetWindows(v);
    for (Cell& c : v.pool)
        if (c.picture)
            DestroyWindow(c.picture);
    v.pool.clear();
}

void CreateCells(ThumbView& v, size_t wanted) {
    const int cols = v.columns;
    for (size_t slot = v.pool.size(); slot < wanted; ++slot) {
        const int x = v.cellWidth * static_cast<int>(slot % cols);
        const int y = v.cellHeight * static_cast<int>(slot / cols);
        Cell c;
        c.picture = CreateWindowExW(v.border ? WS_EX_STATICEDGE : 0, kPictureClass[v.pane], nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y, v.cellWidth, v.cellHeight, v.area,
                                    reinterpret_cast<HMENU>(slot), v.instance, nullptr);
        if (!c.picture)
            return;
        c.text = CreateWindowExW(0, kTextClass[v.pane], nullptr, WS_CHILD | WS_VISIBLE, 0, v.boxHeight, v.boxWidth,
                                 4 * v.lineHeight, c.picture, nullptr, v.instance, nullptr);
        SetWindowLongPtrW(c.picture, GWLP_USERDATA, static_cast<LONG_PTR>(slot));
        if (c.text)
            SetWindowLongPtrW(c.text, GWLP_USERDATA, static_cast<LONG_PTR>(slot));
        v.pool.push_back(c);
    }
}

// Shows the items from the row at scroll position `pos` in the pool, in slot order.
void Reassign(ThumbView& v, int pos) {
    const size_t cols = static_cast<size_t>(v.columns);
    const size_t first = cols * static_cast<size_t>(pos / v.cellHeight);
    const size_t oldEnd = std::min(v.count, v.first + v.pool.size());
    for (size_t i = std::min(v.first, v.count); i < oldEnd; ++i) {
        v.items.items[i].cellWindow = nullptr;
        v.items.items[i].textWindow = nullptr;
    }
    for (size_t k = 0; k < v.pool.size(); ++k) {
        const Cell& c = v.pool[k];
        const size_t index = first + k;
        if (index >= v.count) {
            ShowWindow(c.picture, SW_HIDE);
            continue;
        }
        folder::ThumbItem& item = v.items.items[index];
        item.cellWindow = c.picture;
        item.textWindow = c.text;
        SetWindowLongPtrW(c.picture, GWLP_USERDATA, static_cast<LONG_PTR>(index));
        if (c.text)
            SetWindowLongPtrW(c.text, GWLP_USERDATA, static_cast<LONG_PTR>(index));
        SetWindowPos(c.picture, nullptr, v.cellWidth * static_cast<int>(index % cols),
                     v.cellHeight * static_cast<int>(k / cols), v.cellWidth, v.cellHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        RepaintCell(c.picture);
    }
    v.first = first;
}

SCROLLINFO ScrollInfo(HWND area) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(area, SB_VERT, &si);
    return si;
}

void LayoutOnce(ThumbView& v, int width, int height) {
    v.columns = folder::GridColumns(width, v.cellWidth);
    v.rows = folder::GridRows(height, v.cellHeight);
    const size_t rowsHigh = static_cast<size_t>((height + v.cellHeight - 1) / v.cellHeight);
    CreateCells(v, std::min(v.count, static_cast<size_t>(v.columns) * rowsHigh));
    const int allRows = folder::RowCount(v.count, v.columns);
    const int maxPos = std::max(0, v.cellHeight * (allRows - v.rows));
    const int pos = std::min(maxPos, v.cellHeight * static_cast<int>(v.first / static_cast<size_t>(v.columns)));
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, folder::ScrollMaximum(v.cellHeight, v.count, v.columns));
    si.nPage = v.count ? static_cast<UINT>(v.cellHeight * v.rows) : 0;
    si.nPos = pos;
    SetScrollInfo(v.area, SB_VERT, &si, TRUE);
    Reassign(v, pos);
}

void Scroll(ThumbView& v, int code, int track) {
    const SCROLLINFO si = ScrollInfo(v.area);
    int pos = si.nPos;
    const int page = static_cast<int>(si.nPage);
    switch (code) {
    case SB_LINEUP: pos -= v.cellHeight; break;
    case SB_LINEDOWN: pos += v.cellHeight; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_TOP: pos = si.nMin; break;
    case SB_BOTTOM: pos = si.nMax; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = folder::SnapToRow(v.cellHeight, track); break;
    default: return;
    }
    if (code != SB_TOP)
        pos = std::max(pos, si.nMin);
    pos = std::min(pos, si.nMax - page + 1);
    pos = std::max(pos, 0);
    if (pos == si.nPos)
        return;
    SCROLLINFO set = {};
    set.cbSize = sizeof set;
    set.fMask = SIF_POS;
    set.nPos = pos;
    SetScrollInfo(v.area, SB_VERT, &set, TRUE);
    Reassign(v, pos);
}

// --- selection ---

void SetSelected(ThumbView& v, size_t index, bool on) {
    folder::ThumbItem& item = v.items.items[index];
    if ((item.selected != 0) == on)
        return;
    item.selected = on ? 1 : 0;
    RepaintCell(static_cast<HWND>(item.cellWindow));
}

void ClearSelection(ThumbView& v) {
    for (size_t i = 0; i < v.count; ++i)
        SetSelected(v, i, false);
    v.selected = 0;
}

// Select as on a click, without the preview.
void SelectForClick(ThumbView& v, size_t index) {
    if (!Item(v, index))
        return;
    if (!v.items.items[index].selected) {
        ClearSelection(v);
        SetSelected(v, index, true);
        v.selected = 1;
    }
    v.anchor = index;
    v.host->ViewSelectionChanged();
}

void ShiftSelect(ThumbView& v, size_t index) {
    if (v.selected == 0 || v.anchor >= v.count)
        v.anchor = index;
    const size_t lo = std::min(v.anchor, index), hi = std::max(v.anchor, index);
    for (size_t i = 0; i < v.count; ++i)
        v.items.items[i].selected = i >= lo && i <= hi ? 1 : 0;
    v.selected = hi - lo + 1;
    RepaintPool(v);
    v.host->ViewSelectionChanged();
}

void ToggleSelect(ThumbView& v, size_t index) {
    if (!Item(v, index))
        return;
    if (!v.items.items[index].selected) {
        SetSelected(v, index, true);
        ++v.selected;
        v.anchor = index;
    } else {
        SetSelected(v, index, false);
        --v.selected;
        if (v.anchor == index && v.selected > 0)
            for (size_t i = 0; i < v.count; ++i)
                if (v.items.items[i].selected) {
                    v.anchor = i;
                    break;
                }
    }
    v.host->ViewSelectionChanged();
}

RECT ScreenRectOf(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

void Click(ThumbView& v, Where where, size_t index) {
    v.host->ViewActivate();
    if (where == Where::Area || !Item(v, index)) {
        if (v.selected) {
            ClearSelection(v);
            v.host->ViewSelectionChanged();
        }
        return;
    }
    SelectForClick(v, index);
    const folder::ThumbItem& item = v.items.items[index];
    if (where == Where::Picture && S(v).clickOpensPreview && item.state == 1 && item.pixels &&
        (item.width >= 100 || item.height >= 100))
        v.host->ViewPreview(index, ScreenRectOf(static_cast<HWND>(item.cellWindow)));
}

bool SelectsFirst(int command) {
    switch (command) {
    case 5011: case 5020: case 5030: case 5050: case 5055: return true;
    default: return (command >= 5210 && command <= 5212) || (command >= 5231 && command <= 5239);
    }
}

void RunBound(ThumbView& v, int command, size_t index) {
    static const int kScrollCodes[6] = {SB_TOP, SB_BOTTOM, SB_PAGEUP, SB_PAGEDOWN, SB_LINEUP, SB_LINEDOWN};
    if (command == 0)
        return;
    if (command >= 5710 && command <= 5715) {
        Scroll(v, kScrollCodes[command - 5710], 0);
        return;
    }
    if (command == 5740) {
        ToggleSelect(v, index);
        return;
    }
    if (SelectsFirst(command))
        SelectForClick(v, index);
    v.host->ViewCommand(command, index);
}

// --- mouse ---

void EndPress(ThumbView& v, HWND hwnd) {
    v.mode = Mode::Idle;
    if (GetCapture() == hwnd)
        ReleaseCapture();
}

void OnButtonDown(ThumbView& v, HWND hwnd, Where where, size_t index, bool left, WPARAM keys, LPARAM lp) {
    const bool leftHeld = v.mode == Mode::LeftPressed || v.mode == Mode::LeftGesture;
    const bool rightHeld = v.mode == Mode::RightPressed || v.mode == Mode::RightGesture;
    if ((left && rightHeld) || (!left && leftHeld)) {
        // Rocker: the other button while one is held.
        const int command = where == Where::Text ? S(v).captionBothButtons : S(v).mouseCommands[kMouseBothButtons];
        EndPress(v, hwnd);
        RunBound(v, command, index);
        return;
    }
    if (left && where != Where::Area && (keys & MK_SHIFT)) {
        v.host->ViewActivate();
        ShiftSelect(v, index);
        return;
    }
    if (left && where != Where::Area && (keys & MK_CONTROL)) {
        v.host->ViewActivate();
        ToggleSelect(v, index);
        return;
    }
    if (keys & (MK_SHIFT | MK_CONTROL))
        return;
    v.mode = left ? Mode::LeftPressed : Mode::RightPressed;
    v.press = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    v.pressWhere = where;
    v.pressItem = index;
    SetCapture(hwnd);
}

void OnMouseMove(ThumbView& v, LPARAM lp) {
    if (v.mode == Mode::Blocked) {
        SetCursor(LoadCursorW(nullptr, IDC_NO));
        return;
    }
    if (v.mode != Mode::LeftPressed && v.mode != Mode::RightPressed)
        return;
    const POINT pt = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    const int dx = pt.x - v.press.x, dy = pt.y - v.press.y;
    // The threshold is stored at 96 dpi, like every length the program keeps.
    if (std::abs(dx) + std::abs(dy) <= dpi::Scale(S(v).gestureThreshold, v.dpi))
        return;
    const int dir = std::abs(dx) < std::abs(dy) ? (dy < 0 ? 2 : 3) : (dx < 0 ? 0 : 1);
    const bool left = v.mode == Mode::LeftPressed;
    const int command = S(v).mouseCommands[(left ? kMouseLeftGesture : kMouseRightGesture) + dir];
    if (command) {
        v.mode = left ? Mode::LeftGesture : Mode::RightGesture;
        v.direction = dir;
        v.press = pt;
        SetCursor(GestureCursor(v, dir));
        return;
    }
    if (v.pressWhere != Where::Area && v.host->ViewCanDrag()) {
        SelectForClick(v, v.pressItem);
        // The drag takes the capture elsewhere; the view has nothing more to do with this press.
        v.mode = Mode::Idle;
        if (v.host->ViewBeginDrag(left))
            return;
    }
    v.mode = Mode::Blocked;
    SetCursor(LoadCursorW(nullptr, IDC_NO));
}

void OnButtonUp(ThumbView& v, HWND hwnd, bool left) {
    const Mode mode = v.mode;
    const int gesture = S(v).mouseCommands[(left ? kMouseLeftGesture : kMouseRightGesture) + v.direction];
    if (left ? (mode == Mode::RightPressed || mode == Mode::RightGesture)
             : (mode == Mode::LeftPressed || mode == Mode::LeftGesture))
        return;
    EndPress(v, hwnd);
    switch (mode) {
    case Mode::LeftPressed: Click(v, v.pressWhere, v.pressItem); break;
    case Mode::RightPressed: {
        if (v.pressWhere != Where::Area)
            SelectForClick(v, v.pressItem);
        const DWORD at = GetMessagePos();
        v.host->ViewContextMenu({GET_X_LPARAM(at), GET_Y_LPARAM(at)});
        break;
    }
    case Mode::LeftGesture:
    case Mode::RightGesture: RunBound(v, gesture, v.pressItem); break;
    default: break;
    }
}

void OnDoubleClick(ThumbView& v, Where where, size_t index) {
    switch (where) {
    case Where::Area: ViewSelectAll(v, true); break;
    case Where::Picture: RunBound(v, S(v).mouseCommands[kMouseDoubleClick], index); break;
    case Where::Text: RunBound(v, S(v).captionDoubleClick, index); break;
    }
}

void OnOtherButton(ThumbView& v, UINT message, WPARAM wp, size_t index) {
    int slot = kMouseMiddle;
    if (message == WM_XBUTTONDOWN)
        slot = GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? kMouseX1 : kMouseX2;
    RunBound(v, S(v).mouseCommands[slot], index);
}

void OnWheel(ThumbView& v, WPARAM wp) {
    const int delta = GET_WHEEL_DELTA_WPARAM(wp);
    if (delta)
        RunBound(v, S(v).mouseCommands[delta > 0 ? kMouseWheelUp : kMouseWheelDown], kNoItem);
}

// The menu key and Shift+F10 arrive here (cells pass WM_CONTEXTMENU on to the area); right clicks
// are handled on release and never reach it.
void OnContextMenuKey(ThumbView& v, LPARAM lp) {
    POINT at = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (lp == -1) {
        at = {0, 0};
        ClientToScreen(v.area, &at);
    }
    v.host->ViewContextMenu(at);
}

// Mouse messages of all three window kinds; false when the message is not a mouse message.
bool OnMouse(ThumbView& v, HWND hwnd, Where where, size_t index, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: OnButtonDown(v, hwnd, where, index, message == WM_LBUTTONDOWN, wp, lp); return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: OnButtonUp(v, hwnd, message == WM_LBUTTONUP); return true;
    case WM_MOUSEMOVE: OnMouseMove(v, lp); return true;
    case WM_LBUTTONDBLCLK: OnDoubleClick(v, where, index); return true;
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: OnOtherButton(v, message, wp, index); return true;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != hwnd)
            v.mode = Mode::Idle;
        return true;
    }
    return false;
}

// --- painting ---

void PaintArea(ThumbView& v) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(v.area, &ps);
    win::Brush brush(CreateSolidBrush(Background(v)));
    FillRect(dc, &ps.rcPaint, brush.Get());
    EndPaint(v.area, &ps);
}

void PaintPicture(ThumbView& v, HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    win::Brush back(CreateSolidBrush(Background(v)));
    const int bw = v.boxWidth, bh = v.boxHeight;
    const folder::ThumbItem* item = Item(v, ItemOf(hwnd));
    if (item && item->pixels) {
        const int dw = item->thumbWidth ? item->thumbWidth : item->header.width;
        const int dh = item->thumbHeight ? item->thumbHeight : std::abs(item->header.height);
        const int x = dw < bw ? (bw - dw) >> 1 : 0;
        const int y = dh < bh ? (bh - dh) >> 1 : 0;
        Fill(dc, 0, 0, bw, y, back.Get());
        Fill(dc, 0, y + dh, bw, bh, back.Get());
        Fill(dc, 0, y, x, y + dh, back.Get());
        Fill(dc, x + dw, y, bw, y + dh, back.Get());
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, x, y, dw, dh, 0, 0, item->header.width, std::abs(item->header.height), item->pixels,
                      reinterpret_cast<const BITMAPINFO*>(&item->header), DIB_RGB_COLORS, SRCCOPY);
    } else {
        Fill(dc, 0, 0, bw, bh, back.Get());
        if (item && item->state == 1 && !v.placeholder.empty()) {
            win::SelectObjectScope font(dc, v.font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, 0);
            SetTextAlign(dc, TA_CENTER | TA_TOP);
            RECT clip = {0, 0, bw, bh};
            ExtTextOutW(dc, bw / 2, (bh - v.fontHeight) / 2, ETO_CLIPPED, &clip, v.placeholder.c_str(),
                        static_cast<UINT>(v.placeholder.size()), nullptr);
        }
    }
    if (item && item->selected) {
        win::Brush frame(CreateSolidBrush(SelectionColour(v)));
        RECT box = {0, 0, bw, bh};
        FrameRect(dc, &box, frame.Get());
    }
    EndPaint(hwnd, &ps);
}

std::wstring DateText(platform::FileTime time) {
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(time);
    utc.dwHighDateTime = static_cast<DWORD>(time >> 32);
    SYSTEMTIME st = {};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
        return std::wstring();
    return folder::DateLine(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

void PaintText(ThumbView& v, HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    const folder::ThumbItem* item = Item(v, ItemOf(hwnd));
    win::Brush back(CreateSolidBrush(item && item->selected ? SelectionColour(v) : kTextBack));
    FillRect(dc, &rc, back.Get());
    if (item) {
        const settings::Settings& s = S(v);
        std::vector<std::wstring> lines;
        if (s.captionName)
            lines.push_back(item->name);
        if (item->pixels) {
            if (s.captionSize)
                lines.push_back(folder::SizeLine(*item));
            if (s.captionBitDepth)
                lines.push_back(folder::BitsLine(*item, s.exifOrientation));
            if (s.captionDate)
                lines.push_back(DateText(item->time));
        }
        win::SelectObjectScope font(dc, v.font);
        SetBkMode(dc, TRANSPARENT);
        for (size_t i = 0; i < lines.size(); ++i) {
            RECT band = {0, static_cast<int>(i) * v.lineHeight, rc.right, static_cast<int>(i + 1) * v.lineHeight};
            SetTextColor(dc, kLineColours[i & 1]);
            DrawTextW(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &band,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS | DT_NOPREFIX);
        }
    }
    EndPaint(hwnd, &ps);
}

// --- window procedures ---

LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    ThumbView* v = ViewOfCell(hwnd);
    if (!v)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintPicture(*v, hwnd);
        return 0;
    }
    if (OnMouse(*v, hwnd, Where::Picture, ItemOf(hwnd), message, wp, lp))
        return 0;
    return DefWindowProcW(hwnd, message, wp, lp);
}

LRESULT CALLBACK TextProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    HWND picture = GetParent(hwnd);
    ThumbView* v = picture ? ViewOfCell(picture) : nullptr;
    if (!v)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintText(*v, hwnd);
        return 0;
    }
    if (OnMouse(*v, hwnd, Where::Text, ItemOf(hwnd), message, wp, lp))
        return 0;
    return DefWindowProcW(hwnd, message, wp, lp);
}

void OnAreaSize(ThumbView& v, int width, int height) {
    if (!v.inLayout)
        ViewLayout(v, width, height);
}

LRESULT CALLBACK AreaProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    ThumbView* v = ThumbViewOf(hwnd);
    if (message == WM_NCCREATE) {
        const auto* args = static_cast<const ViewCreateArgs*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        v = new ThumbView;
        v->area = hwnd;
        v->pane = args->pane & 1;
        v->instance = args->instance;
        v->font = args->font;
        v->dpi = dpi::Sane(args->dpi);
        v->settings = args->settings;
        v->host = args->host;
        v->placeholder = args->placeholder;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
    }
    if (!v)
        return DefWindowProcW(hwnd, message, wp, lp);
    switch (message) {
    case WM_CREATE:
        ComputeGeometry(*v);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintArea(*v);
        return 0;
    case WM_SIZE:
        OnAreaSize(*v, LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_VSCROLL:
        ViewScroll(*v, LOWORD(wp), 0);
        return 0;
    case WM_MOUSEWHEEL:
        OnWheel(*v, wp);
        return 0;
    case WM_DROPFILES:
        v->host->ViewDropFiles(reinterpret_cast<HDROP>(wp));
        return 0;
    case WM_CONTEXTMENU:
        OnContextMenuKey(*v, lp);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        // The cells are children and are already gone; only the items remain.
        delete v;
        return 0;
    }
    if (OnMouse(*v, hwnd, Where::Area, kNoItem, message, wp, lp))
        return 0;
    return DefWindowProcW(hwnd, message, wp, lp);
}

bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    if (RegisterClassExW(&wc))
        return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

bool RegisterThumbViewClasses(HINSTANCE instance) {
    for (int i = 0; i < 2; ++i)
        if (!Register(instance, kAreaClass[i], AreaProc) || !Register(instance, kPictureClass[i], PictureProc) ||
            !Register(instance, kTextClass[i], TextProc))
            return false;
    return true;
}

HWND CreateThumbView(const ViewCreateArgs& args) {
    if (!args.settings || !args.host)
        return nullptr;
    return CreateWindowExW(WS_EX_STATICEDGE | WS_EX_ACCEPTFILES, kAreaClass[args.pane & 1], nullptr,
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL, 0, 0, 0, 0,
                           args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), args.instance,
                           const_cast<ViewCreateArgs*>(&args));
}

ThumbView* ThumbViewOf(HWND area) {
    wchar_t name[32] = {};
    if (!area || !GetClassNameW(area, name, 32))
        return nullptr;
    if (lstrcmpW(name, kAreaClass[0]) != 0 && lstrcmpW(name, kAreaClass[1]) != 0)
        return nullptr;
    return reinterpret_cast<ThumbView*>(GetWindowLongPtrW(area, GWLP_USERDATA));
}

void ViewSetItems(ThumbView& v, folder::ThumbItemArray&& items, bool resetScroll) {
    DestroyPool(v);
    folder::ReleaseItems(v.items);
    v.items = std::move(items);
    v.count = v.items.items.size();
    v.items.inUse = v.count;
    v.positions.assign(v.count, kNoItem);
    for (size_t i = 0; i < v.count; ++i)
        v.items.items[i].entry = i;
    RecordPositions(v);
    v.selected = 0;
    for (const folder::ThumbItem& item : v.items.items)
        v.selected += item.selected ? 1 : 0;
    v.anchor = kNoItem;
    if (resetScroll)
        v.first = 0;
    ComputeGeometry(v);
}

void ViewRelease(ThumbView& v) {
    DestroyPool(v);
    folder::ReleaseItems(v.items);
    v.positions.clear();
    v.count = 0;
    v.selected = 0;
    v.anchor = kNoItem;
    v.mode = Mode::Idle;
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    SetScrollInfo(v.area, SB_VERT, &si, TRUE);
    InvalidateRect(v.area, nullptr, TRUE);
}

void ViewLayout(ThumbView& v, int width, int height) {
    if (v.inLayout)
        return;
    v.inLayout = true;
    RECT rc = {0, 0, width, height};
    if (width == 0 && height == 0)
        GetClientRect(v.area, &rc);
    // Showing or hiding the scroll bar changes the client width; settle in at most three passes.
    for (int pass = 0; pass < 3; ++pass) {
        LayoutOnce(v, rc.right, rc.bottom);
        RECT now;
        GetClientRect(v.area, &now);
        if (now.right == rc.right && now.bottom == rc.bottom)
            break;
        rc = now;
    }
    v.inLayout = false;
    UpdateWindow(v.area);
}

void ViewGeometryChanged(ThumbView& v) {
    DestroyPool(v);
    ComputeGeometry(v);
    ViewLayout(v);
    RedrawWindow(v.area, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void ViewSetLook(ThumbView& v, HFONT font, const std::wstring& placeholder, int dpi) {
    v.font = font;
    v.dpi = dpi::Sane(dpi);
    v.placeholder = placeholder;
    ViewGeometryChanged(v);
}

void ViewScroll(ThumbView& v, int code, int track) {
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(v.area, SB_VERT, &si);
        if (!track)
            track = si.nTrackPos;
    }
    Scroll(v, code, track);
}

void ViewSelectAll(ThumbView& v, bool select) {
    for (size_t i = 0; i < v.count; ++i)
        SetSelected(v, i, select);
    v.selected = select ? v.count : 0;
    if (select && v.count && v.anchor >= v.count)
        v.anchor = 0;
    v.host->ViewSelectionChanged();
}

void ViewSetActive(ThumbView& v, bool active) {
    v.active = active;
    RedrawWindow(v.area, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void ViewRepaintItem(ThumbView& v, size_t index) {
    if (const folder::ThumbItem* item = Item(v, index))
        RepaintCell(static_cast<HWND>(item->cellWindow));
}

bool ViewApplyResult(ThumbView& v, size_t entry, folder::ThumbItem& result) {
    const size_t index = entry < v.positions.size() ? v.positions[entry] : kNoItem;
    if (index >= v.count)
        return false;
    folder::ThumbItem& item = v.items.items[index];
    ApplyThumbResult(result, item);
    item.entry = entry;
    RepaintCell(static_cast<HWND>(item.cellWindow));
    return true;
}

bool ViewScreenComplete(const ThumbView& v) {
    bool any = false;
    for (size_t i = 0; i < v.count; ++i) {
        const folder::ThumbItem& item = v.items.items[i];
        if (!item.cellWindow)
            continue;
        if (!item.state)
            return false;
        any = true;
    }
    return any;
}

void ViewRepaintMissing(ThumbView& v) {
    for (size_t i = 0; i < v.count; ++i)
        if (!v.items.items[i].pixels)
            ViewRepaintItem(v, i);
}

void ViewCompact(ThumbView& v) {
    ForgetWindows(v);
    std::vector<folder::ThumbItem>& items = v.items.items;
    items.erase(std::remove_if(items.begin(), items.end(), [](const folder::ThumbItem& it) { return it.selected != 0; }),
                items.end());
    v.count = items.size();
    v.items.inUse = v.count;
    RecordPositions(v);
    v.selected = 0;
    v.anchor = kNoItem;
    v.first = std::min(v.first, v.count);
    ViewLayout(v);
    RedrawWindow(v.area, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    v.host->ViewSelectionChanged();
}

void ViewSort(ThumbView& v, int mode, folder::LocationKind kind) {
    ForgetWindows(v);
    folder::SortItems(v.items.items.data(), v.count, mode, kind);
    RecordPositions(v);
    v.anchor = kNoItem;
    for (size_t i = 0; i < v.count && v.anchor == kNoItem; ++i)
        if (v.items.items[i].selected)
            v.anchor = i;
    ViewLayout(v);
}

BoxSize FitAcrossBox(int gridWidth, int n, int edgeWidth) {
    BoxSize box;
    box.width = ClampBoxSide(gridWidth / std::max(n, 1) - edgeWidth);
    const int three = 3 * box.width;
    box.height = three < 128 ? 32 : three > 3203 ? 800 : three / 4;
    return box;
}

size_t ViewItemOfWindow(ThumbView& v, HWND hwnd) {
    for (const Cell& c : v.pool)
        if ((hwnd == c.picture || hwnd == c.text) && IsWindowVisible(c.picture))
            return ItemOf(c.picture) < v.count ? ItemOf(c.picture) : kNoItem;
    return kNoItem;
}

folder::ThumbItemArray& ViewItems(ThumbView& v) { return v.items; }
size_t ViewCount(const ThumbView& v) { return v.count; }
bool ViewMouseBusy(const ThumbView& v) {
    return v.mode == Mode::LeftGesture || v.mode == Mode::RightGesture || v.mode == Mode::Blocked;
}
size_t ViewSelected(const ThumbView& v) { return v.selected; }
size_t ViewAnchor(const ThumbView& v) { return v.anchor; }
size_t ViewFirstVisible(const ThumbView& v) { return v.first; }
int ViewCellWidth(const ThumbView& v) { return v.cellWidth; }
int ViewCellHeight(const ThumbView& v) { return v.cellHeight; }
int ViewColumns(const ThumbView& v) { return v.columns; }
size_t ViewPoolSize(const ThumbView& v) { return v.pool.size(); }

} // namespace thumbs
