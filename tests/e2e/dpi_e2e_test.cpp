// The real program on a 150 % screen: run by scripts/wine-dpi-run.sh in a Wine prefix of its own
// whose screen is at 144 dpi. The main window with a folder of photographs, an open menu and the
// options dialog are kept as screenshots; the frame's lengths are measured from outside at 144 dpi,
// then after WM_DPICHANGED to 96 and 192 dpi, and must keep the 96-dpi layout's proportions.
#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "app/commands.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

constexpr UINT kMainOpenMenu = 0x8002;
constexpr int kPhotos = 6;
// Keys 2..5 and 8 as the settings file keeps them: 96-dpi units.
constexpr int kLeft = 20, kTop = 20, kWidth96 = 760, kHeight96 = 460, kTree96 = 170;

int ScreenDpi() {
    HDC dc = GetDC(nullptr);
    const int d = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return d;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// What the frame shows, measured from outside.
struct Frame {
    int tree = 0;        // tree area width
    int paneLeft = 0;    // pane 1 from the client window's left edge
    int statusHeight = 0;
    int edges[5] = {};   // pane 1's status-bar part edges
    int buttonHeight = 0;
    int buttonWidth = 0;
    int menuButton = 0;  // the File button of the menu bar
};

Frame Measure(HWND main) {
    Frame f;
    HWND pane = ChildById(main, 500);
    HWND status = GetDlgItem(pane, 503);
    f.tree = Width(e2e::ScreenRect(ChildById(main, 400)));
    f.paneLeft = e2e::ScreenRect(pane).left - e2e::ScreenRect(ChildById(main, 300)).left;
    f.statusHeight = Height(e2e::ScreenRect(status));
    int edges[6] = {};
    EXPECT_TRUE(e2e::RemoteSend(status, SB_GETPARTS, 6, edges, sizeof edges));
    std::copy(edges, edges + 5, f.edges);
    const DWORD size = static_cast<DWORD>(SendMessageW(ChildById(main, 202), TB_GETBUTTONSIZE, 0, 0));
    f.buttonWidth = LOWORD(size);
    f.buttonHeight = HIWORD(size);
    f.menuButton = Width(e2e::RemoteItemRect(ChildById(main, 201), 0));
    return f;
}

// Lengths that come from text follow the font, whose metrics grow a little unevenly: within a
// tenth and two pixels of the ratio. The program's own lengths are checked exactly elsewhere.
void ExpectNear(int base, int scaled, int num, int den, const char* what) {
    const double want = double(base) * num / den;
    EXPECT_LE(std::abs(scaled - want), want / 10 + 2)
        << what << ": " << base << " -> " << scaled << ", wanted " << want;
}

// The status bar's height has a floor the control takes from the system's metrics, which follow the
// screen's real dpi, not the one a WM_DPICHANGED sent by hand names: it is compared only between
// the real 144 dpi and a larger one.
void ExpectFrameScaled(const Frame& base, const Frame& f, int num, int den, bool statusHeight) {
    EXPECT_EQ(f.tree * den, base.tree * num) << "tree width " << base.tree << " -> " << f.tree;
    EXPECT_EQ(f.paneLeft * den, base.paneLeft * num) << "pane left " << base.paneLeft << " -> " << f.paneLeft;
    if (statusHeight)
        ExpectNear(base.statusHeight, f.statusHeight, num, den, "status bar height");
    for (int i = 0; i < 5; ++i)
        ExpectNear(base.edges[i], f.edges[i], num, den, "status-bar part");
    ExpectNear(base.buttonHeight, f.buttonHeight, num, den, "toolbar button height");
    ExpectNear(base.buttonWidth, f.buttonWidth, num, den, "toolbar button width");
    ExpectNear(base.menuButton, f.menuButton, num, den, "menu-bar button");
}

// WM_DPICHANGED as the system sends it: the new dpi twice and the suggested window rectangle, which
// lives in the receiving process.
bool SendDpiChanged(HWND main, int dpi, RECT suggested) {
    LRESULT ignored = 0;
    return e2e::RemoteSend(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), &suggested, sizeof suggested, &ignored);
}

class DpiE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running";
    }
    fixtures::TempFolder root_;
};

TEST_F(DpiE2e, TheFrameAt144DpiIsOneAndAHalfTimesItsSizeAndFollowsADpiChange) {
    ASSERT_EQ(ScreenDpi(), 144) << "run through scripts/wine-dpi-run.sh 144: the prefix is not at 144 dpi";
    QuorleCopy copy;
    harness::Process quorle;
    settings::Settings s;
    s.windowLeft = kLeft;
    s.windowTop = kTop;
    s.windowWidth = kWidth96;
    s.windowHeight = kHeight96;
    s.treeWidth = kTree96;
    s.paneLayout = 2;
    ASSERT_TRUE(copy.WriteSettings(s));
    const std::wstring photos = e2e::WritePhotos(root_, L"Photos at 150 percent", kPhotos);
    HWND main = copy.Start(quorle, L"\"" + photos + L"\"");
    ASSERT_NE(main, nullptr);
    const std::wstring idle = L"0/" + std::to_wstring(kPhotos);
    ASSERT_TRUE(harness::PumpUntil(
        [&] { return e2e::RemoteStatusText(GetDlgItem(ChildById(main, 500), 503), 4) == idle; }, 60000));
    harness::PumpFor(300);

    // The window opens at 1.5 times its stored size, the tree area at 1.5 times key 8.
    const RECT window = e2e::ScreenRect(main);
    EXPECT_EQ(Width(window), kWidth96 * 3 / 2);
    EXPECT_EQ(Height(window), kHeight96 * 3 / 2);
    const Frame at144 = Measure(main);
    EXPECT_EQ(at144.tree, kTree96 * 3 / 2);
    EXPECT_EQ(at144.paneLeft, kTree96 * 3 / 2);
    EXPECT_GE(at144.buttonHeight, 33) << "22 pixels at 96 dpi at least";
    harness::SaveNamedScreenshot(L"dpi_main_window");

    HWND menu = nullptr;
    for (int attempt = 0; attempt < 3 && !menu; ++attempt) {
        PostMessageW(main, kMainOpenMenu, 0, 5000);
        harness::PumpUntil([&] { return (menu = e2e::OpenMenuWindow()) != nullptr; }, 5000);
    }
    ASSERT_NE(menu, nullptr);
    harness::PumpFor(300);
    harness::SaveNamedScreenshot(L"dpi_menu");
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(main, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    ASSERT_TRUE(harness::PumpUntil([] { return e2e::OpenMenuWindow() == nullptr; }, 5000));

    HWND options = nullptr;
    for (int attempt = 0; attempt < 3 && !options; ++attempt) {
        PostMessageW(main, WM_COMMAND, cmd::kOptions, 0);
        harness::PumpUntil([&] { return (options = harness::FindShownDialog(0, quorle.Id(), 1001)) != nullptr; }, 10000);
    }
    ASSERT_NE(options, nullptr);
    harness::PumpFor(500);
    harness::SaveNamedScreenshot(L"dpi_options");
    PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return harness::FindShownDialog(0, quorle.Id(), 1001) == nullptr; }, 10000));

    // Moved to a 100 % monitor, then to a 200 % one: the suggested rectangle is taken and the frame
    // is laid out again for each.
    ASSERT_TRUE(SendDpiChanged(main, 96, {kLeft, kTop, kLeft + kWidth96, kTop + kHeight96}));
    harness::PumpFor(300);
    EXPECT_EQ(Width(e2e::ScreenRect(main)), kWidth96);
    const Frame at96 = Measure(main);
    EXPECT_EQ(at96.tree, kTree96);
    harness::SaveNamedScreenshot(L"dpi_main_window_96");
    ExpectFrameScaled(at96, at144, 3, 2, false);

    ASSERT_TRUE(SendDpiChanged(main, 192, {kLeft, kTop, kLeft + kWidth96 * 2, kTop + kHeight96 * 2}));
    harness::PumpFor(300);
    const Frame at192 = Measure(main);
    EXPECT_EQ(at192.tree, kTree96 * 2);
    ExpectFrameScaled(at96, at192, 2, 1, false);
    ExpectFrameScaled(at144, at192, 4, 3, true);
    harness::SaveNamedScreenshot(L"dpi_main_window_192");

    // Back on the 150 % screen; the settings written at close are the 96-dpi numbers it started with.
    ASSERT_TRUE(SendDpiChanged(main, 144, window));
    harness::PumpFor(300);
    EXPECT_EQ(Measure(main).tree, at144.tree);
    EXPECT_EQ(e2e::RemoteStatusText(GetDlgItem(ChildById(main, 500), 503), 4), idle) << "no reload needed";
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    const settings::Settings after = copy.ReadSettings();
    EXPECT_EQ(after.windowWidth, kWidth96);
    EXPECT_EQ(after.windowHeight, kHeight96);
    EXPECT_EQ(after.treeWidth, kTree96);
    EXPECT_EQ(after.fontHeight, -12);
}

} // namespace
