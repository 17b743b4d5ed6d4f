// Printing in the real program onto a real spooler: a private CUPS with a PDF printer (started by
// scripts/print-spooler.sh, which exports where each job's PDF lands). A pane of 25 photographs in
// 4 columns prints as two pages; the dialog with its preview is kept as a screenshot.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"

#include <cstdlib>
#include <string>

#include "app/commands.h"
#include "common/platform.h"
#include "tests/thumbs/photo_fixtures.h"

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

// A dialog of process `pid` other than `except`.
HWND OtherDialog(DWORD pid, HWND except) {
    struct Search {
        DWORD pid;
        HWND except;
        HWND found;
    } search = {pid, except, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* q = reinterpret_cast<Search*>(lp);
            wchar_t cls[16] = {};
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (hwnd != q->except && owner == q->pid && IsWindowVisible(hwnd) &&
                GetClassNameW(hwnd, cls, 16) && std::wstring(cls) == L"#32770") {
                q->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class PrintE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
    }
    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
};

TEST_F(PrintE2e, TwentyFivePhotosInFourColumnsPrintOnTwoPages) {
    std::string why;
    const std::wstring pdf = SpoolerPdf(&why);
    ASSERT_FALSE(pdf.empty()) << why;
    DeleteFileW(pdf.c_str());

    fixtures::TempFolder root;
    const std::wstring folder = root / L"contact";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (int i = 1; i <= 25; ++i)
        ASSERT_TRUE(photos::WriteJpeg(folder + L"\\photo" + (i < 10 ? L"0" : L"") + std::to_wstring(i) + L".jpg",
                                      i % 3 ? 640 : 360, i % 3 ? 480 : 640, 70 + i));
    settings::Settings s;
    s.printColumns = 4;
    ASSERT_TRUE(copy_.WriteSettings(s));
    main_ = copy_.Start(process_, L"\"" + folder + L"\"");
    ASSERT_NE(main_, nullptr);
    // The 25 thumbnails are small: the pane is idle well within this, and the page count below
    // checks that every item reached the dialog.
    harness::PumpFor(6000);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_pane").empty());

    PostMessageW(main_, WM_COMMAND, cmd::kPrint, 0);
    HWND dialog = harness::FindTopWindow(L"#32770", 15000, process_.Id());
    ASSERT_NE(dialog, nullptr) << "the print dialog did not open";
    HWND pages = GetDlgItem(dialog, 2532);
    ASSERT_TRUE(harness::PumpUntil([&] { return harness::WindowText(pages) == L"2"; }, 5000))
        << platform::WideToUtf8(harness::WindowText(pages));
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_dialog").empty());

    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(2501, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 2501)));
    HWND system = nullptr;
    ASSERT_TRUE(harness::PumpUntil(
        [&] {
            system = OtherDialog(process_.Id(), dialog);
            return system != nullptr;
        },
        15000))
        << "the system print dialog did not open";
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"print_system_dialog").empty());
    PostMessageW(system, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(system, IDOK)));

    // The spooler converts the job a few seconds after it ends.
    ASSERT_TRUE(harness::PumpUntil([&] { return PdfPages(pdf) == 2; }, 60000))
        << "pages in " << platform::WideToUtf8(pdf) << ": " << PdfPages(pdf);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return !IsWindow(dialog); }, 10000));
}

} // namespace
