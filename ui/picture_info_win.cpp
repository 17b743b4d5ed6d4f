#include "ui/picture_info_win.h"

#include <array>
#include <memory>
#include <vector>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "image/exif.h"
#include "image/png.h"

namespace ui {

namespace {

// What the list shows now; an item is known by its path and time, since the pane's items move
// when they are sorted or removed.
struct Shown {
    bool any = false;
    std::wstring path;
    platform::FileTime time = 0;
    int32_t format = 0;
    int32_t markE = 0;
};

constexpr UINT kChooserTemplate = 2600;
constexpr int kIdItemList = 2601;
constexpr int kIdAll = 2602;
constexpr int kIdNone = 2603;

using ExifFlags = std::array<uint8_t, settings::kExifItemCount>;

Shown g_shown;
std::unique_ptr<image::ExifInfo> g_exif;

std::wstring LookupString(uint32_t id, void*) { return lang::Text(id); }

image::ExifInfo& ExifRecord() {
    if (!g_exif) {
        image::ExifStrings strings;
        strings.lookup = LookupString;
        g_exif = std::make_unique<image::ExifInfo>();
        image::ExifLoadLabels(*g_exif, strings);
    }
    return *g_exif;
}

HWND InfoList(const MainWindow& w) { return w.treeArea ? GetDlgItem(w.treeArea, kIdPictureInfo) : nullptr; }

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void FillLines(HWND list, const std::vector<std::wstring>& lines) {
    win::WindowDC dc(list);
    win::SelectObjectScope font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const std::wstring& line : lines) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        widest = std::max(widest, TextWidth(dc.Get(), line));
    }
    RECT edge = {0, 0, 0, 0};
    AdjustWindowRectEx(&edge, 0, FALSE, WS_EX_STATICEDGE);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + (edge.right - edge.left) + 15), 0);
}

bool JpegLines(const std::wstring& path, std::vector<std::wstring>& lines) {
    image::ExifStrings strings;
    strings.lookup = LookupString;
    image::ExifInfo& exif = ExifRecord();
    image::JpegContext jpeg;
    if (!image::ReadExifInfo(jpeg, path, exif, strings))
        return false;
    const auto& flags = app::TheProgram().settings.exifItemFlags;
    for (int i = 0; i < image::kExifItemCount; ++i) {
        const image::ExifItem& e = exif.items[i];
        if (e.present && flags[static_cast<size_t>(i)]) {
            lines.push_back(e.label);
            lines.push_back(e.value);
        }
    }
    return true;
}

bool PngLines(const std::wstring& path, std::vector<std::wstring>& lines) {
    image::PngContext png;
    std::vector<image::PngTextPair> pairs;
    if (!image::ListPngTextFile(png, path, &pairs))
        return false;
    for (const image::PngTextPair& pair : pairs) {
        lines.push_back(pair.keyword);
        lines.push_back(pair.text);
    }
    return true;
}

// Empties the list, then fills it for `what` unless it has no information to show.
void Fill(HWND list, const Shown& what) {
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    g_shown = Shown();
    if (!what.any || what.markE == 0)
        return;
    std::vector<std::wstring> lines;
    bool read = false;
    if (what.format == static_cast<int32_t>(image::ImageFormat::Jpeg))
        read = JpegLines(what.path, lines);
    else if (what.format == static_cast<int32_t>(image::ImageFormat::Png))
        read = PngLines(what.path, lines);
    if (!read)
        return;
    FillLines(list, lines);
    g_shown = what;
}

} // namespace

void ShowPictureInfo(MainWindow& w, const folder::ThumbItem* item) {
    HWND list = InfoList(w);
    if (!list)
        return;
    if (item && g_shown.any && g_shown.path == item->path && g_shown.time == item->time)
        return;
    Shown what;
    if (item && item->pixels) {
        what.any = true;
        what.path = item->path;
        what.time = item->time;
        what.format = item->format;
        what.markE = item->markE;
    }
    Fill(list, what);
}

INT_PTR CALLBACK PictureInfoItemsProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    HWND list = GetDlgItem(dialog, kIdItemList);
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        const ExifFlags& flags = *reinterpret_cast<const ExifFlags*>(lp);
        const image::ExifInfo& exif = ExifRecord();
        for (int i = 0; i < image::kExifItemCount; ++i) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(exif.items[i].label.c_str()));
            SendMessageW(list, LB_SETSEL, flags[static_cast<size_t>(i)] ? TRUE : FALSE, i);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case kIdAll:
        case kIdNone:
            SendMessageW(list, LB_SETSEL, LOWORD(wp) == kIdAll ? TRUE : FALSE, -1);
            return TRUE;
        case IDOK: {
            ExifFlags& flags = *reinterpret_cast<ExifFlags*>(GetWindowLongPtrW(dialog, DWLP_USER));
            for (int i = 0; i < image::kExifItemCount; ++i)
                flags[static_cast<size_t>(i)] = SendMessageW(list, LB_GETSEL, i, 0) > 0 ? 1 : 0;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

bool ChoosePictureInfoItems(MainWindow& w, HWND owner) {
    settings::Settings& s = app::TheProgram().settings;
    ExifFlags flags = s.exifItemFlags;
    if (lang::DialogBoxFromModule(kChooserTemplate, owner, PictureInfoItemsProc, reinterpret_cast<LPARAM>(&flags)) !=
        IDOK)
        return false;
    s.exifItemFlags = flags;
    if (HWND list = InfoList(w)) {
        const Shown again = g_shown;
        Fill(list, again);
    }
    return true;
}

} // namespace ui
