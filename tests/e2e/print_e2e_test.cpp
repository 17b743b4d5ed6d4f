// Printing in the real program onto a real spooler: a private CUPS with a PDF printer (started by
// scripts/print-spooler.sh, which exports where each job's PDF lands). A pane of 25 photographs in
// 4 columns prints as two pages; "selected only" prints just the selected items. Each PDF
// is kept beside the screenshots with the places the layout gives its pictures, and
// print_page_check.py (after this test) renders the pages and finds every picture there.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"
#include "tests/e2e/remote_buffer.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "common/platform.h"
#include "tests/thumbs/photo_fixtures.h"
#include "ui/print_layout.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

// The PDF the spooler writes, as a Windows path; empty (with the reason) when no spooler runs.
std::wstring SpoolerPdf(std::string* why) {
    const char* pdf = std::getenv("QUORLE_PRINT_PDF");
    if (!pdf || !*pdf) {
        const char* error = std::getenv("QUORLE_PRINT_ERROR");
        *why = error && *error ? error
                               : "no print spooler: run the suite through scripts/test.sh, which starts a private "
                                 "cupsd (scripts/print-spooler.sh)";
        return L"";
    }
    std::wstring path = L"Z:" + platform::Utf8ToWide(pdf);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// Pages of a PDF: its page objects, not the page tree.
size_t PdfPages(const std::wstring& path) {
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(path);
    const std::string text(bytes.begin(), bytes.end());
    size_t pages = 0;
    for (size_t at = text.find("/Type"); at != std::string::npos; at = text.find("/Type", at + 5)) {
        size_t v = at + 5;
        while (v < text.size() && (text[v] == ' ' || text[v] == '\n' || text[v] == '\r'))
            ++v;
        if (text.compare(v, 5, "/Page") == 0 && (v + 5 >= text.size() || text[v + 5] != 's'))
            ++pages;
    }
    return pages;
}

// A dialog of process `pid` other than `except`, with a control `withId` when that is not 0.
HWND OtherDialog(DWORD pid, HWND except, int withId = 0) {
    struct Search {
        DWORD pid;
        HWND except;
        int withId;
        HWND found;
    } search = {pid, except, withId, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* q = reinterpret_cast<Search*>(lp);
            wchar_t cls[16] = {};
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (hwnd != q->except && owner == q->pid && IsWindowVisible(hwnd) &&
                GetClassNameW(hwnd, cls, 16) && std::wstring(cls) == L"#32770" &&
                (!q->withId || GetDlgItem(hwnd, q->withId))) {
                q->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The default printer as the program's layout sees it, with the height of the name line in `face`
// (the program prints on the default printer when nothing else was chosen).
bool DefaultPrinter(const std::wstring& face, printing::DeviceMetrics* m, int* textHeight) {
    PRINTDLGW pd = {};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    if (!PrintDlgW(&pd) || !pd.hDC)
        return false;
    if (pd.hDevMode)
        GlobalFree(pd.hDevMode);
    if (pd.hDevNames)
        GlobalFree(pd.hDevNames);
    HDC dc = pd.hDC;
    m->dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    m->dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    m->paperWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
    m->paperHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
    m->offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
    m->offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    m->printableWidth = GetDeviceCaps(dc, HORZRES);
    m->printableHeight = GetDeviceCaps(dc, VERTRES);
    *m = printing::Normalised(*m);
    HFONT font = CreateFontW(-(m->dpiY * 10 / 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             face.c_str());
    TEXTMETRICW tm = {};
    const HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    *textHeight = tm.tmHeight > 0 ? tm.tmHeight : m->dpiY * 10 / 72;
    return true;
}

struct Photo {
    int width, height;
};

// Where the layout puts the pictures of `pages` when `items` (in pane order) are printed: per page,
// each picture with its name's line, then the empty cells left on the page. Device pixels from the
// paper's corner, read by print_page_check.py.
std::string Expected(const printing::DeviceMetrics& m, const printing::Margins& margins, const printing::Grid& g,
                     const std::vector<Photo>& items, const std::vector<uint32_t>& pages) {
    std::string out = "dpi " + std::to_string(m.dpiX) + " " + std::to_string(m.dpiY) + "\n";
    auto rect = [](const printing::Rect& r) {
        return " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.width) + " " +
               std::to_string(r.height);
    };
    for (uint32_t page : pages) {
        out += "page\n";
        const printing::PageItems range = printing::ItemsOfPage(g, items.size(), page);
        for (size_t slot = 0; slot < g.PerPage(); ++slot) {
            if (slot < range.count) {
                const Photo& photo = items[range.first + slot];
                const printing::Placement p = printing::PlaceItem(
                    g, margins, slot, printing::FitInCell(photo.width, photo.height, g.cellWidth, g.cellHeight));
                out += "picture" + rect(p.picture) + rect(p.name) + "\n";
            } else {
                const printing::Placement p = printing::PlaceItem(g, margins, slot, {g.cellWidth, g.cellHeight});
                out += "blank" + rect(p.picture) + rect(p.name) + "\n";
            }
        }
    }
    return out;
}

// True once the spooler has written the whole PDF of `pages` pages (a printer trailer may follow
// the PDF's end mark).
bool PdfDone(const std::wstring& path, size_t pages) {
    if (PdfPages(path) != pages)
        return false;
    const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end()).find("%%EOF") != std::string::npos;
}

// A click in the middle of `window` with the left button, or the middle one (which toggles).
void Click(HWND window, bool middle) {
    const RECT r = e2e::ScreenRect(window);
    const POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    e2e::PointerTo(at, 0);
    harness::PumpFor(100);
    e2e::PointerTo(at, middle ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_LEFTDOWN);
    e2e::PointerTo(at, middle ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_LEFTUP);
    harness::PumpFor(300);
}

// The picture cells of the first pane, left to right and top to bottom.
std::vector<HWND> Cells(HWND main) {
    std::vector<HWND> cells;
    for (const harness::ChildInfo& c : harness::Children(main))
        if (c.className == L"Quorle_thimg1_class" && c.visible)
            cells.push_back(c.hwnd);
    std::sort(cells.begin(), cells.end(), [](HWND a, HWND b) {
        const RECT ra = e2e::ScreenRect(a), rb = e2e::ScreenRect(b);
        return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
    });
    return cells;
}

// A control of the system print dialog, in the dialog or in one of its pages.
HWND DialogControl(HWND dialog, int id) {
    if (HWND direct = GetDlgItem(dialog, id))
        return direct;
    struct Search {
        int id;
        HWND found;
    } search = {id, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* q = reinterpret_cast<Search*>(lp);
            if (GetDlgCtrlID(hwnd) != q->id)
                return TRUE;
            q->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Chooses the pages from `from` to `to` in the system print dialog: its "Pages" button, then either
// the from and to boxes or the one box of ranges.
void ChoosePages(HWND system, int from, int to) {
    constexpr int kPagesButton = 1058, kFromBox = 1152, kToBox = 1153;
    HWND pages = DialogControl(system, kPagesButton);
    HWND fromBox = DialogControl(system, kFromBox);
    ASSERT_TRUE(pages && fromBox) << "no page range in the system print dialog";
    HWND toBox = DialogControl(system, kToBox);
    const std::wstring first = std::to_wstring(from), last = std::to_wstring(to);
    SendMessageW(fromBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((toBox ? first : first + L"-" + last).c_str()));
    if (toBox)
        SendMessageW(toBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(last.c_str()));
    SendMessageW(pages, BM_CLICK, 0, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return SendMessageW(pages, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000));
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_system_dialog_range").empty());
}

constexpr int kColumns = 4;
constexpr int kPhotos = 25;
constexpr int kPrintButton = 2501, kPageCount = 2532;
class PrintE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running";
        std::string why;
        pdf_ = SpoolerPdf(&why);
        ASSERT_FALSE(pdf_.empty()) << why;
        DeleteFileW(pdf_.c_str());
    }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        SetCursorPos(0, 0);
    }

    // 25 photographs, landscape but every third portrait, in 4 columns; waits until the pane is idle.
    void Start() {
        const std::wstring folder = root_ / L"contact";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        for (int i = 1; i <= kPhotos; ++i) {
            const Photo photo = i % 3 ? Photo{640, 480} : Photo{360, 640};
            ASSERT_TRUE(photos::WriteJpeg(folder + L"\\photo" + (i < 10 ? L"0" : L"") + std::to_wstring(i) + L".jpg",
                                          photo.width, photo.height, 70 + static_cast<uint32_t>(i)));
            photos_.push_back(photo);
        }
        settings::Settings s;
        s.printColumns = kColumns;
        s.clickOpensPreview = false; // clicks only select
        s.fontFace = L"Tahoma";      // the name line's height is measured with the same face
        ASSERT_TRUE(copy_.WriteSettings(s));
        ASSERT_TRUE(DefaultPrinter(s.fontFace, &metrics_, &textHeight_)) << "no default printer";
        margins_ = printing::DeviceMargins(metrics_, &s.printMargins);
        grid_ = printing::ComputeGrid(metrics_, margins_, kColumns, textHeight_);
        main_ = copy_.Start(process_, L"\"" + folder + L"\"");
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(WaitCount(L"0/" + std::to_wstring(kPhotos)))
            << platform::WideToUtf8(e2e::RemoteStatusText(Status(), 4));
    }
    HWND Status() { return GetDlgItem(ChildById(main_, 500), 503); }
    bool WaitCount(const std::wstring& text, DWORD timeoutMs = 30000) {
        return harness::PumpUntil([&] { return e2e::RemoteStatusText(Status(), 4) == text; }, timeoutMs);
    }
    // A click that selects, until the count says so: a loaded Wine has been seen to lose a click.
    bool ClickUntilCount(HWND cell, bool middle, const std::wstring& text) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            Click(cell, middle);
            if (WaitCount(text, 8000))
                return true;
        }
        return false;
    }
    // Opens the program's print dialog and waits for its page count. The dialog is told from any
    // other window of its class by its page count control.
    HWND OpenDialog(const std::wstring& pages) {
        PostMessageW(main_, WM_COMMAND, cmd::kPrint, 0);
        HWND dialog = nullptr;
        std::wstring shown;
        const bool opened = harness::PumpUntil(
            [&] {
                dialog = OtherDialog(process_.Id(), nullptr, kPageCount);
                shown = dialog ? harness::WindowText(GetDlgItem(dialog, kPageCount)) : L"";
                return shown == pages;
            },
            15000);
        if (!opened) {
            ADD_FAILURE() << (dialog ? "pages in the print dialog: " + platform::WideToUtf8(shown)
                                     : std::string("the print dialog did not open"));
            return nullptr;
        }
        return dialog;
    }
    // Print in `dialog`, then OK in the system's dialog after `choose` set it up; waits for the PDF of
    // `pages` pages and keeps it as `name`.pdf beside the screenshots, with what it should show.
    template <typename Choose>
    void Print(HWND dialog, const std::wstring& name, const std::vector<Photo>& items,
               const std::vector<uint32_t>& pages, Choose choose) {
        const std::wstring kept = harness::ScreenshotFolder() + L"\\" + name;
        DeleteFileW((kept + L".pdf").c_str()); // never a previous run's pages
        DeleteFileW((kept + L".txt").c_str());
        DeleteFileW(pdf_.c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kPrintButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, kPrintButton)));
        HWND system = nullptr;
        ASSERT_TRUE(harness::PumpUntil(
            [&] {
                system = OtherDialog(process_.Id(), dialog);
                return system != nullptr;
            },
            15000))
            << "the system print dialog did not open";
        harness::PumpFor(500);
        choose(system);
        PostMessageW(system, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(system, IDOK)));
        // The spooler converts the job a few seconds after it ends.
        ASSERT_TRUE(harness::PumpUntil([&] { return PdfDone(pdf_, pages.size()); }, 60000))
            << "pages in " << platform::WideToUtf8(pdf_) << ": " << PdfPages(pdf_);
        ASSERT_TRUE(CopyFileW(pdf_.c_str(), (kept + L".pdf").c_str(), FALSE));
        const std::string expected = Expected(metrics_, margins_, grid_, items, pages);
        FILE* f = _wfopen((kept + L".txt").c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::fwrite(expected.data(), 1, expected.size(), f), expected.size());
        std::fclose(f);
    }
    void CloseDialog(HWND dialog) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(harness::PumpUntil([&] { return !IsWindow(dialog); }, 10000));
    }

    fixtures::TempFolder root_;
    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
    std::wstring pdf_;
    std::vector<Photo> photos_;
    printing::DeviceMetrics metrics_;
    printing::Margins margins_;
    printing::Grid grid_;
    int textHeight_ = 0;
};

TEST_F(PrintE2e, TwentyFivePhotosInFourColumnsPrintOnTwoPages) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(grid_.PerPage(), 20u) << "the photographs no longer fill two pages on this printer";
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_pane").empty());
    HWND dialog = OpenDialog(L"2");
    ASSERT_NE(dialog, nullptr);
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_dialog").empty());
    ASSERT_NO_FATAL_FAILURE(Print(dialog, L"print_all", photos_, {1, 2}, [](HWND) {
        EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_system_dialog").empty());
    }));
    CloseDialog(dialog);
}

// "Selected only" with three selected fills one page with just them.
TEST_F(PrintE2e, SelectedOnlyPrintsTheThreeSelectedOnOnePage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // Photographs 3, 4 and 6: portrait, landscape, portrait, unlike the start of the first page.
    const std::vector<HWND> cells = Cells(main_);
    ASSERT_GE(cells.size(), 6u);
    SetForegroundWindow(main_);
    harness::PumpFor(300);
    const std::wstring of = L"/" + std::to_wstring(kPhotos);
    ASSERT_TRUE(ClickUntilCount(cells[2], false, L"1" + of));
    ASSERT_TRUE(ClickUntilCount(cells[3], true, L"2" + of));
    ASSERT_TRUE(ClickUntilCount(cells[5], true, L"3" + of))
        << platform::WideToUtf8(e2e::RemoteStatusText(Status(), 4));
    HWND dialog = OpenDialog(L"1");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 2512), BM_GETCHECK, 0, 0), BST_CHECKED) << "selected only";
    ASSERT_NO_FATAL_FAILURE(Print(dialog, L"print_selected", {photos_[2], photos_[3], photos_[5]}, {1}, [](HWND) {}));
    CloseDialog(dialog);
}

// A page range of 2 to 2 chosen in the system dialog prints page 2 alone: the last five photographs.
TEST_F(PrintE2e, PageRangeTwoToTwoPrintsOnlyPageTwo) {
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = OpenDialog(L"2");
    ASSERT_NE(dialog, nullptr);
    ASSERT_NO_FATAL_FAILURE(
        Print(dialog, L"print_range", photos_, {2}, [](HWND system) { ChoosePages(system, 2, 2); }));
    CloseDialog(dialog);
}

} // namespace
