// The caption-lines dialog run for real from the English module inside this process. A timer on the
// owner plays a script inside the dialog's modal loop: it finds the dialog, clicks check boxes and
// closes it the way a user would.
#include "ui/caption_lines_dialog_win.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "app/language_win.h"
#include "tests/harness/win_harness.h"

namespace {

enum class Finish { OkButton, CancelButton, EnterKey, EscapeKey };

constexpr std::array<int, 4> kChecks = {2301, 2302, 2303, 2304};
constexpr UINT_PTR kScriptTimer = 1;
constexpr UINT_PTR kWatchdogTimer = 2;

struct Script {
    HWND owner = nullptr;
    std::vector<int> clicks; // check box ids, in order
    Finish finish = Finish::OkButton;
    std::wstring screenshot; // saved after the clicks when not empty

    HWND dialog = nullptr;
    RECT dialogRect = {};
    std::array<bool, 4> shownChecks = {};
    bool watchdogFired = false;
};

Script* g_script = nullptr;

HWND FindOwnedDialog(HWND owner) {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w;
         w = FindWindowExW(nullptr, w, L"#32770", nullptr))
        if (GetWindow(w, GW_OWNER) == owner)
            return w;
    return nullptr;
}

void PressKey(HWND dlg, WPARAM key) {
    // Keys go to the focused control; the dialog loop turns Enter and Escape into IDOK and IDCANCEL.
    HWND target = GetFocus();
    PostMessageW(target ? target : dlg, WM_KEYDOWN, key, 1);
    PostMessageW(target ? target : dlg, WM_KEYUP, key, 0xC0000001);
}

void CALLBACK ScriptTimer(HWND owner, UINT, UINT_PTR id, DWORD) {
    Script& s = *g_script;
    if (id == kWatchdogTimer) {
        KillTimer(owner, kWatchdogTimer);
        s.watchdogFired = true;
        if (HWND dlg = FindOwnedDialog(owner))
            EndDialog(dlg, IDABORT);
        return;
    }
    HWND dlg = FindOwnedDialog(owner);
    if (!dlg || !IsWindowVisible(dlg))
        return;
    KillTimer(owner, kScriptTimer);
    s.dialog = dlg;
    GetWindowRect(dlg, &s.dialogRect);
    for (size_t i = 0; i < kChecks.size(); ++i)
        s.shownChecks[i] = IsDlgButtonChecked(dlg, kChecks[i]) == BST_CHECKED;
    for (int check : s.clicks)
        SendDlgItemMessageW(dlg, check, BM_CLICK, 0, 0);
    if (!s.screenshot.empty()) {
        UpdateWindow(dlg);
        harness::SaveNamedScreenshot(s.screenshot, dlg);
    }
    switch (s.finish) {
    case Finish::OkButton: SendDlgItemMessageW(dlg, IDOK, BM_CLICK, 0, 0); break;
    case Finish::CancelButton: SendDlgItemMessageW(dlg, IDCANCEL, BM_CLICK, 0, 0); break;
    case Finish::EnterKey: PressKey(dlg, VK_RETURN); break;
    case Finish::EscapeKey: PressKey(dlg, VK_ESCAPE); break;
    }
}

std::array<bool, 4> Lines(const settings::Settings& s) {
    return {s.captionName, s.captionSize, s.captionBitDepth, s.captionDate};
}

void SetLines(settings::Settings& s, const std::array<bool, 4>& lines) {
    s.captionName = lines[0];
    s.captionSize = lines[1];
    s.captionBitDepth = lines[2];
    s.captionDate = lines[3];
}

RECT WorkArea() {
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

class CaptionLinesDialog : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::wstring name = L"English";
        ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    }
    static void TearDownTestSuite() { lang::Unload(); }

    void SetUp() override {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = L"Quorle_caption_dialog_test";
        RegisterClassExW(&wc);
        owner_ = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600,
                                 400, nullptr, nullptr, instance, nullptr);
        ASSERT_NE(owner_, nullptr);
        script_.owner = owner_;
        g_script = &script_;
    }
    void TearDown() override {
        g_script = nullptr;
        DestroyWindow(owner_);
    }

    bool Run(const RECT& button) {
        SetTimer(owner_, kScriptTimer, 20, ScriptTimer);
        SetTimer(owner_, kWatchdogTimer, 5000, ScriptTimer);
        const bool changed = ui::RunCaptionLinesDialog(owner_, button, settings_);
        KillTimer(owner_, kScriptTimer);
        KillTimer(owner_, kWatchdogTimer);
        return changed;
    }

    HWND owner_ = nullptr;
    Script script_;
    settings::Settings settings_;
};

TEST_F(CaptionLinesDialog, ChecksStartFromSettingsAndOnlyOkWritesThem) {
    using L = std::array<bool, 4>;
    struct Case {
        const char* what;
        L before;
        std::vector<int> clicks;
        Finish finish;
        L after;
        bool changed;
    };
    const Case cases[] = {
        {"turn bits on, OK", {true, true, false, false}, {2303}, Finish::OkButton, {true, true, true, false}, true},
        {"name off, Enter is OK", {true, true, false, false}, {2301}, Finish::EnterKey, {false, true, false, false},
         true},
        {"toggled back, nothing changed", {true, false, true, false}, {2302, 2302}, Finish::OkButton,
         {true, false, true, false}, false},
        {"Cancel drops every click", {false, false, true, true}, {2301, 2302, 2303, 2304}, Finish::CancelButton,
         {false, false, true, true}, false},
        {"Escape is Cancel", {true, true, false, false}, {2304}, Finish::EscapeKey, {true, true, false, false},
         false},
        {"all four may be off", {true, true, true, true}, {2301, 2302, 2303, 2304}, Finish::OkButton,
         {false, false, false, false}, true},
    };
    const RECT button = {200, 150, 223, 172};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLines(settings_, c.before);
        script_ = Script();
        script_.owner = owner_;
        script_.clicks = c.clicks;
        script_.finish = c.finish;
        const bool changed = Run(button);
        ASSERT_FALSE(script_.watchdogFired);
        ASSERT_NE(script_.dialog, nullptr);
        EXPECT_EQ(script_.shownChecks, c.before);
        EXPECT_EQ(Lines(settings_), c.after);
        EXPECT_EQ(changed, c.changed);
        EXPECT_TRUE(IsWindowEnabled(owner_));
    }
}

TEST_F(CaptionLinesDialog, OpensUnderTheButtonAndStaysInsideTheWorkArea) {
    const RECT work = WorkArea();
    const RECT middle = {work.left + 200, work.top + 100, work.left + 223, work.top + 122};
    Run(middle);
    ASSERT_NE(script_.dialog, nullptr);
    EXPECT_EQ(script_.dialogRect.left, middle.left);
    EXPECT_EQ(script_.dialogRect.top, middle.bottom);

    // A button at the right edge: the dialog is pushed left but still hangs below the button.
    const RECT rightEdge = {work.right - 23, work.top + 100, work.right, work.top + 122};
    script_ = Script();
    script_.owner = owner_;
    script_.screenshot = L"caption_lines_dialog";
    script_.finish = Finish::CancelButton;
    Run(rightEdge);
    ASSERT_NE(script_.dialog, nullptr);
    EXPECT_EQ(script_.dialogRect.right, work.right);
    EXPECT_EQ(script_.dialogRect.top, rightEdge.bottom);
    EXPECT_LE(script_.dialogRect.bottom, work.bottom);
}

TEST(PlaceUnderButton, DropsBelowFlipsAboveAndClampsToTheWorkArea) {
    struct Case {
        const char* what;
        RECT button;
        int width, height;
        RECT work;
        POINT topLeft;
    };
    const RECT screen = {0, 0, 1024, 768};
    const Case cases[] = {
        {"room below", {100, 50, 123, 72}, 200, 150, screen, {100, 72}},
        {"right edge", {1000, 50, 1023, 72}, 200, 150, screen, {824, 72}},
        {"bottom edge flips above", {100, 700, 123, 722}, 200, 150, screen, {100, 550}},
        {"no room either way: pinned to the bottom", {100, 100, 123, 122}, 200, 700, screen, {100, 68}},
        {"work area left of the primary monitor", {-1900, 1, -1877, 23}, 200, 150, {-1920, 0, 0, 1040},
         {-1900, 23}},
        {"larger than the work area keeps its top-left inside", {500, 50, 523, 72}, 1200, 900, screen, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RECT r = ui::PlaceUnderButton(c.button, c.width, c.height, c.work);
        EXPECT_EQ(r.left, c.topLeft.x);
        EXPECT_EQ(r.top, c.topLeft.y);
        EXPECT_EQ(r.right - r.left, c.width);
        EXPECT_EQ(r.bottom - r.top, c.height);
    }
}

} // namespace
