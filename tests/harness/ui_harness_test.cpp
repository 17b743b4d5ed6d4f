// The in-process UI harness drives real windows created in this test process.
#include "tests/harness/win_harness.h"

#include <gtest/gtest.h>

#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

namespace {

constexpr UINT kPing = WM_APP + 0x100;

struct Probe {
    int pings = 0;
    int commands = 0;
};

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Probe* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case kPing:
        probe->pings += static_cast<int>(wp);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == 42)
            probe->commands++;
        return 0;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(reinterpret_cast<HDC>(wp), &r, red);
        DeleteObject(red);
        return 1;
    }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

class UiHarness : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ProbeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Quorle_probe_test_class";
        RegisterClassExW(&wc);
        top_ = CreateWindowExW(0, wc.lpszClassName, L"Harness probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               40, 40, 320, 200, nullptr, nullptr, wc.hInstance, &probe_);
        ASSERT_NE(top_, nullptr);
        button_ = CreateWindowExW(0, L"BUTTON", L"Press me", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10,
                                  100, 30, top_, reinterpret_cast<HMENU>(42), wc.hInstance, nullptr);
        harness::PumpFor(100);
    }
    void TearDown() override {
        DestroyWindow(top_);
        UnregisterClassW(L"Quorle_probe_test_class", GetModuleHandleW(nullptr));
    }
    Probe probe_;
    HWND top_ = nullptr;
    HWND button_ = nullptr;
};

TEST_F(UiHarness, PostedMessagesArriveWhilePumping) {
    PostMessageW(top_, kPing, 2, 0);
    PostMessageW(top_, kPing, 3, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return probe_.pings == 5; }, 2000));
    EXPECT_FALSE(harness::PumpUntil([&] { return probe_.pings == 6; }, 50)) << "times out when nothing comes";
}

TEST_F(UiHarness, ButtonClickReachesTheParent) {
    SendMessageW(button_, BM_CLICK, 0, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return probe_.commands == 1; }, 2000));
}

TEST_F(UiHarness, FindsWindowsAndReadsChildren) {
    EXPECT_EQ(harness::FindTopWindow(L"Quorle_probe_test_class", 1000, GetCurrentProcessId()), top_);
    EXPECT_EQ(harness::FindTopWindow(L"No_such_class", 0), nullptr);
    EXPECT_EQ(harness::WindowText(top_), L"Harness probe");
    std::vector<harness::ChildInfo> kids = harness::Children(top_);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0].hwnd, button_);
    EXPECT_EQ(kids[0].id, 42);
    EXPECT_EQ(kids[0].text, L"Press me");
    EXPECT_TRUE(kids[0].visible);
    RECT client;
    GetClientRect(button_, &client);
    EXPECT_EQ(kids[0].rect.right - kids[0].rect.left, client.right);
}

TEST_F(UiHarness, ScreenshotIsAPngOfTheWindow) {
    SetForegroundWindow(top_);
    RedrawWindow(top_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    harness::PumpFor(200);
    std::wstring path = harness::SaveNamedScreenshot(L"ui_harness_probe", top_);
    ASSERT_FALSE(path.empty());
    std::vector<uint8_t> png = fixtures::ReadWholeFile(path);
    ASSERT_GT(png.size(), 33u);
    RECT r;
    GetWindowRect(top_, &r);
    auto be32 = [&](size_t at) {
        return (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) | (uint32_t(png[at + 2]) << 8) | png[at + 3];
    };
    EXPECT_EQ(be32(16), uint32_t(r.right - r.left));
    EXPECT_EQ(be32(20), uint32_t(r.bottom - r.top));
}

} // namespace
