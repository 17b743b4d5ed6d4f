#include "ui/layout.h"

#include <algorithm>

#include "common/dpi.h"

namespace layout {

namespace {

// Both panes share what the tree leaves, less `gap` between them. At 96 dpi the gap is 2 pixels,
// which gives each pane ((w - x) / 2 rounded down) - 1; the gap grows with the dpi like the rest.
PaneRects SplitPanes(int w, int h, int x, int gap, int paneLayout) {
    PaneRects r;
    if (paneLayout == kLayoutBoth) {
        const int c = (w - x - gap) / 2;
        r.pane[0] = FromSize(x, 0, c, h);
        r.pane[1] = FromSize(w - c, 0, c, h);
        r.visible[0] = r.visible[1] = true;
        return r;
    }
    const int shown = paneLayout == kLayoutPane2 ? 1 : 0;
    r.pane[0] = r.pane[1] = FromSize(x, 0, w - x, h);
    r.visible[shown] = true;
    return r;
}

} // namespace

std::wstring TitleText(int activePane, bool hasLocation, const std::wstring& locationText) {
    std::wstring title = activePane == 1 ? L"<2> " : L"<1> ";
    title += hasLocation ? locationText : L"Quorle";
    return title;
}

void FitAxis(int& start, int& end, int workStart, int workEnd) {
    const int size = end - start;
    if (start >= workStart) {
        if (end > workEnd)
            start = workEnd - size;
    } else {
        start = workStart;
    }
    end = start + size;
}

Rect PlaceInWorkArea(Rect window, const Rect& work) {
    window.right = window.left + std::min(window.Width(), work.Width());
    window.bottom = window.top + std::min(window.Height(), work.Height());
    return MoveIntoWorkArea(window, work);
}

Rect MoveIntoWorkArea(Rect window, const Rect& work) {
    FitAxis(window.left, window.right, work.left, work.right);
    FitAxis(window.top, window.bottom, work.top, work.bottom);
    return window;
}

int MulDivRound(int a, int b, int c) {
    if (c <= 0)
        return 0;
    const int64_t n = static_cast<int64_t>(a) * b;
    return static_cast<int>((2 * n + c) / (2 * static_cast<int64_t>(c)));
}

PreviewGeometry ComputePreviewGeometry(int pw, int ph, int previewSize96, int screenBound96, int fw, int fh,
                                       int screenDpi) {
    PreviewGeometry g;
    if (pw <= 0 || ph <= 0)
        return g;
    const int previewSize = dpi::Scale(previewSize96, screenDpi);
    const int screenBound = dpi::Scale(screenBound96, screenDpi);
    const int least = dpi::Scale(100, screenDpi);
    if (pw > ph) {
        g.clientWidth = std::min(previewSize, pw);
        g.clientHeight = MulDivRound(g.clientWidth, ph, pw);
        g.minWidth = fw + least;
        g.minHeight = fh + MulDivRound(least, ph, pw);
        g.maxWidth = screenBound + fw;
        g.maxHeight = fh + MulDivRound(screenBound, ph, pw);
    } else {
        g.clientHeight = std::min(previewSize, ph);
        g.clientWidth = MulDivRound(g.clientHeight, pw, ph);
        g.minHeight = fh + least;
        g.minWidth = fw + MulDivRound(least, pw, ph);
        g.maxHeight = screenBound + fh;
        g.maxWidth = fw + MulDivRound(screenBound, pw, ph);
    }
    return g;
}

int PreviewFit(int previewSize96, int screenDpi) { return dpi::Scale(previewSize96, screenDpi); }

namespace {

int Clamp(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

bool MovesLeft(int edge) { return edge == kEdgeLeft || edge == kEdgeTopLeft || edge == kEdgeBottomLeft; }
bool MovesTop(int edge) { return edge == kEdgeTop || edge == kEdgeTopLeft || edge == kEdgeTopRight; }

} // namespace

Rect SizePreview(Rect r, int edge, int pw, int ph, int fw, int fh, const PreviewGeometry& g) {
    if (pw <= 0 || ph <= 0)
        return r;
    auto heightFor = [&](int width) { return MulDivRound(ph, std::max(width - fw, 0), pw) + fh; };
    auto widthFor = [&](int height) { return MulDivRound(pw, std::max(height - fh, 0), ph) + fw; };
    if (edge == kEdgeLeft || edge == kEdgeRight) {
        const int w = Clamp(r.Width(), g.minWidth, g.maxWidth);
        if (edge == kEdgeLeft)
            r.left = r.right - w;
        else
            r.right = r.left + w;
        const int h = Clamp(heightFor(w), g.minHeight, g.maxHeight);
        r.top = ((r.top + r.bottom) >> 1) - (h >> 1);
        r.bottom = r.top + h;
    } else if (edge == kEdgeTop || edge == kEdgeBottom) {
        const int h = Clamp(r.Height(), g.minHeight, g.maxHeight);
        if (edge == kEdgeTop)
            r.top = r.bottom - h;
        else
            r.bottom = r.top + h;
        const int w = Clamp(widthFor(h), g.minWidth, g.maxWidth);
        r.left = ((r.left + r.right) >> 1) - (w >> 1);
        r.right = r.left + w;
    } else if (edge >= kEdgeTopLeft && edge <= kEdgeBottomRight) {
        int w, h;
        if (r.Height() < g.minHeight) {
            w = g.minWidth;
            h = g.minHeight;
        } else if (r.Height() > g.maxHeight) {
            w = g.maxWidth;
            h = g.maxHeight;
        } else {
            w = widthFor(r.Height());
            h = r.Height();
        }
        if (MovesTop(edge))
            r.top = r.bottom - h;
        else
            r.bottom = r.top + h;
        if (MovesLeft(edge))
            r.left = r.right - w;
        else
            r.right = r.left + w;
    }
    return r;
}

Rect PlacePreview(const Rect& cell, int w, int h, int clientTop, int minLeft, const Rect& work) {
    int left = cell.left - ((w - cell.Width()) >> 1);
    int top = cell.top - ((h - cell.Height()) >> 1);
    top = std::max(top, clientTop);
    left = std::max(left, minLeft);
    return MoveIntoWorkArea(FromSize(left, top, w, h), work);
}

std::wstring SizeText(int width, int height) { return std::to_wstring(width) + L"x" + std::to_wstring(height); }

int ButtonHeight(int textHeight, int d) {
    return std::max(textHeight + dpi::Scale(9, d), dpi::Scale(22, d));
}

int SizeBoxWidth(int widestTextWidth, int digitWidth, int scrollBarWidth, int d) {
    return std::max(widestTextWidth, 7 * digitWidth) + scrollBarWidth + dpi::Scale(10, d);
}

Size NormalisePreset(int width, int height) {
    if (width == 0 || height == 0)
        return {};
    return {Clamp(width, 32, 800), Clamp(height, 32, 800)};
}

PaneRects ComputePaneRects(int w, int h, int treeWidth96, bool treeHidden, int paneLayout, int d) {
    return SplitPanes(w, h, treeHidden ? 0 : dpi::Scale(treeWidth96, d), dpi::Scale(2, d), paneLayout);
}

int TreeInnerWidth(int areaWidth, int d) { return std::max(areaWidth - dpi::Scale(4, d), 0); }

void StatusPartEdges(const StatusTextWidths& t, int d, int edges[6]) {
    // The gaps add up at 96 dpi and are scaled as one length, so rounding does not pile up.
    const int texts[5] = {t.reload, t.stop, t.widestSort, t.widestFilter, 9 * t.digit};
    const int gaps96[5] = {7, 9, 9, 9, 9};
    int text = 0, gap96 = 0;
    for (int i = 0; i < 5; ++i) {
        text += texts[i];
        gap96 += gaps96[i];
        edges[i] = text + dpi::Scale(gap96, d);
    }
    edges[5] = -1;
}

int MenuBarButtonWidth(int textWidth, int d) { return textWidth + dpi::Scale(12, d); }

int MenuItemHeight(int textHeight, int d) { return textHeight + dpi::Scale(6, d); }

int MenuCheckColumn(int checkMarkWidth, int d) { return checkMarkWidth + dpi::Scale(7, d); }

Rect WindowAt(const Rect& saved, int d) {
    return FromSize(saved.left, saved.top, dpi::Scale(saved.Width(), d), dpi::Scale(saved.Height(), d));
}

Size StoredWindowSize(int width, int height, int d) { return {dpi::Unscale(width, d), dpi::Unscale(height, d)}; }

} // namespace layout
