// Starts the real Quorle.exe and looks at it from outside, as a user's desktop would.
#include <gtest/gtest.h>

#include "tests/harness/win_harness.h"

namespace {

const wchar_t kMainClass[] = L"Quorle_main_class";

TEST(Startup, OpensItsMainWindowAndClosesOnRequest) {
    ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is still running";
    harness::Process quorle;
    ASSERT_TRUE(quorle.Start(harness::OutputFolder() + L"\\Quorle.exe", L"", harness::OutputFolder()));
    HWND main = harness::FindTopWindow(kMainClass, 30000, quorle.Id());
    ASSERT_NE(main, nullptr) << "no main window within 30 s";
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_NE(harness::WindowText(main).find(L"Quorle"), std::wstring::npos);
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"startup_main_window").empty());

    ASSERT_TRUE(harness::PostClose(main));
    DWORD code = 1;
    ASSERT_TRUE(quorle.Wait(20000, &code)) << "Quorle did not end after WM_CLOSE";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(harness::WaitWindowGone(kMainClass, 2000));
}

} // namespace
