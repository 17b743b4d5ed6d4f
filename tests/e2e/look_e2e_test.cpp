// The real program changing its look while it runs, and the cache maintenance dialog: a bold interface
// font shows in the menu bar and the menus at once, the 11-point dialog font in the next dialog, and
// the dialog lists the folders opened in the run and deletes the checked one with its data file.
// What only the options dialog reaches otherwise is driven through the program's test hook.
#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/steps.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>

#include "tests/e2e/remote_buffer.h"
#include "thumbs/thumb_cache.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

constexpr ULONG_PTR kTestHookTag = 0x51544831;
constexpr UINT kMainOpenMenu = 0x8002;

class LookE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running";
        SetEnvironmentVariableW(L"QUORLE_TEST_HOOKS", L"1");
    }
    void TearDown() override { SetEnvironmentVariableW(L"QUORLE_TEST_HOOKS", nullptr); }

    // Starts the copy on `folder` of `count` pictures and waits until pane 1 is idle again.
    HWND StartOn(QuorleCopy& copy, harness::Process& quorle, const std::wstring& folder, int count) {
        settings::Settings s;
        s.windowLeft = 40;
        s.windowTop = 30;
        s.windowWidth = 1000;
        s.windowHeight = 660;
        EXPECT_TRUE(copy.WriteSettings(s));
        HWND main = copy.Start(quorle, L"\"" + folder + L"\"");
        if (main) {
            EXPECT_TRUE(WaitIdle(main, count));
        }
        return main;
    }

    // The pane shows its count only after its worker has written the cache, so the cache files are
    // read only then: reading while the worker writes would make its write fail.
    static bool WaitIdle(HWND main, int count) {
        const std::wstring text = L"0/" + std::to_wstring(count);
        return harness::PumpUntil(
            [&] { return e2e::RemoteStatusText(GetDlgItem(ChildById(main, 500), 503), 4) == text; }, 60000);
    }

    // The folders the cache's index names with a readable data file, sorted.
    static std::vector<std::wstring> CachedFolders(const QuorleCopy& copy) {
        std::vector<thumbs::CacheEntryInfo> entries;
        std::vector<std::wstring> paths;
        if (thumbs::ListCacheEntries(copy.Folder() + L"\\cache", &entries))
            for (const thumbs::CacheEntryInfo& e : entries)
                if (e.dataReadable)
                    paths.push_back(e.record.path);
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    fixtures::TempFolder root_;
};

bool SendHook(HWND main, const std::wstring& text) {
    COPYDATASTRUCT cds = {};
    cds.dwData = kTestHookTag;
    cds.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    cds.lpData = const_cast<wchar_t*>(text.c_str());
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, 10000,
                               &answer) != 0;
}

// The visible error box ("Error", string 30000) of process `pid`, or null.
HWND ErrorBox(DWORD pid) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", L"Error")) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

// Opens the cache maintenance dialog through the hook and waits for it.
HWND OpenMaintenance(HWND main, DWORD pid) {
    HWND dlg = nullptr;
    EXPECT_TRUE(SendHook(main, L"cache"));
    EXPECT_TRUE(harness::PumpUntil([&] { return (dlg = harness::FindShownDialog(0, pid, 1630)) != nullptr; }, 10000));
    return dlg;
}

bool CloseDialog(HWND dlg, DWORD pid) {
    PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    return harness::PumpUntil([&] { return harness::FindShownDialog(0, pid, 1630) == nullptr; }, 10000);
}

int ClientWidth(HWND hwnd) {
    RECT r = {};
    GetClientRect(hwnd, &r);
    return r.right;
}

int Width(const RECT& r) { return r.right - r.left; }

// Opens the File menu from the menu bar, measures it, saves a screenshot and closes it.
int FileMenuWidth(HWND main, const std::wstring& screenshot) {
    HWND menu = nullptr;
    // A menu request posted while the previous loop winds down can be dropped: ask again, bounded.
    for (int attempt = 0; attempt < 3 && !menu; ++attempt) {
        PostMessageW(main, kMainOpenMenu, 0, 5000);
        harness::PumpUntil([&] { return (menu = e2e::OpenMenuWindow()) != nullptr; }, 5000);
    }
    if (!menu)
        return 0;
    harness::PumpFor(300);
    const int width = Width(e2e::ScreenRect(menu));
    harness::SaveNamedScreenshot(screenshot);
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(main, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    harness::PumpUntil([] { return e2e::OpenMenuWindow() == nullptr; }, 5000);
    return width;
}

TEST_F(LookE2e, ABoldFontAndTheLargeDialogFontTakeEffectAtOnce) {
    QuorleCopy copy;
    harness::Process quorle;
    const std::wstring photos = e2e::WritePhotos(root_, L"Look photos", 3);
    HWND main = StartOn(copy, quorle, photos, 3);
    ASSERT_NE(main, nullptr);

    HWND dlg = OpenMaintenance(main, quorle.Id());
    ASSERT_NE(dlg, nullptr);
    const int smallDialog = ClientWidth(dlg);
    ASSERT_TRUE(CloseDialog(dlg, quorle.Id()));
    const int plainMenu = FileMenuWidth(main, L"look_menu_regular");
    ASSERT_GT(plainMenu, 0);

    // Same face and height, weight 700, dialogs at 11 points. The menu opens after the change: both
    // requests are posted to the same window.
    ASSERT_TRUE(SendHook(main, L"look\n\n\n-12\n700\n1"));
    EXPECT_GT(FileMenuWidth(main, L"look_menu_bold"), plainMenu);
    // The toolbars were made again: four menu buttons, and tooltips for the command buttons.
    EXPECT_EQ(SendMessageW(ChildById(main, 201), TB_BUTTONCOUNT, 0, 0), 4);
    EXPECT_GE(e2e::RemoteToolTexts(e2e::ToolTipOf(main)).size(), 10u);
    // The panes' status bars still say what they showed.
    EXPECT_EQ(e2e::RemoteStatusText(GetDlgItem(ChildById(main, 500), 503), 4), L"0/3");

    dlg = OpenMaintenance(main, quorle.Id());
    ASSERT_NE(dlg, nullptr);
    harness::PumpFor(300);
    harness::SaveNamedScreenshot(L"look_dialog_11pt");
    EXPECT_GT(ClientWidth(dlg), smallDialog * 11 / 10) << smallDialog;
    ASSERT_TRUE(CloseDialog(dlg, quorle.Id()));
    harness::SaveNamedScreenshot(L"look_main_bold");

    // A language that cannot be loaded is reported and changes nothing: the texts stay English.
    ASSERT_TRUE(SendHook(main, L"look\nKlingon\n\n-12\n700\n1"));
    HWND box = nullptr;
    ASSERT_TRUE(harness::PumpUntil([&] { return (box = ErrorBox(quorle.Id())) != nullptr; }, 10000));
    harness::PumpFor(300);
    harness::SaveNamedScreenshot(L"look_language_refused");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return ErrorBox(quorle.Id()) == nullptr; }, 10000));
    EXPECT_GT(FileMenuWidth(main, L"look_menu_after_refusal"), plainMenu);

    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    const settings::Settings after = copy.ReadSettings();
    EXPECT_EQ(after.languageModule, L"English");
    EXPECT_EQ(after.fontWeight, 700);
    EXPECT_EQ(after.fontHeight, -12);
    EXPECT_TRUE(after.largeDialogFont);
}

TEST_F(LookE2e, TheMaintenanceDialogListsTheRunsFoldersAndDeletesTheCheckedOne) {
    QuorleCopy copy;
    harness::Process quorle;
    const std::wstring first = e2e::WritePhotos(root_, L"First", 2);
    const std::wstring second = e2e::WritePhotos(root_, L"Second", 3);
    HWND main = StartOn(copy, quorle, first, 2);
    ASSERT_NE(main, nullptr);
    harness::SendCopyData(main, second);
    ASSERT_TRUE(WaitIdle(main, 3));
    std::vector<std::wstring> both = {first, second};
    std::sort(both.begin(), both.end());
    ASSERT_EQ(CachedFolders(copy), both);

    HWND dlg = OpenMaintenance(main, quorle.Id());
    ASSERT_NE(dlg, nullptr);
    HWND list = GetDlgItem(dlg, 1630);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    e2e::RemoteBuffer remote(list);
    ASSERT_TRUE(remote.Ok());
    int firstRow = -1;
    for (int row = 0; row < 2; ++row)
        if (remote.ListText(list, row, 1) == first)
            firstRow = row;
    ASSERT_GE(firstRow, 0);
    EXPECT_EQ(remote.ListText(list, firstRow, 3), L"2");
    remote.SetListCheck(list, firstRow, true);
    harness::PumpFor(200);
    harness::SaveNamedScreenshot(L"cache_maintenance_checked");

    std::vector<thumbs::CacheEntryInfo> before;
    ASSERT_TRUE(thumbs::ListCacheEntries(copy.Folder() + L"\\cache", &before));
    uint32_t firstNumber = 0, secondNumber = 0;
    for (const thumbs::CacheEntryInfo& e : before)
        (e.record.path == first ? firstNumber : secondNumber) = e.record.number;
    const std::wstring firstData = thumbs::DataFilePath(copy.Folder() + L"\\cache", firstNumber);
    ASSERT_NE(GetFileAttributesW(firstData.c_str()), INVALID_FILE_ATTRIBUTES);

    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(1622, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 1622)));
    ASSERT_TRUE(harness::PumpUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000));
    EXPECT_EQ(remote.ListText(list, 0, 1), second);
    EXPECT_EQ(GetFileAttributesW(firstData.c_str()), INVALID_FILE_ATTRIBUTES) << "its data file is still there";
    EXPECT_NE(GetFileAttributesW(thumbs::DataFilePath(copy.Folder() + L"\\cache", secondNumber).c_str()),
              INVALID_FILE_ATTRIBUTES);
    harness::SaveNamedScreenshot(L"cache_maintenance_deleted");
    ASSERT_TRUE(CloseDialog(dlg, quorle.Id()));

    // The pane that shows the second folder still works from its cache, and the first folder shown
    // again is cached afresh.
    harness::SendCopyData(main, first);
    EXPECT_TRUE(WaitIdle(main, 2));
    EXPECT_EQ(CachedFolders(copy), both);

    // Another cache folder, while the program runs: the next load writes there, the old one stays.
    const std::wstring moved = root_ / L"Moved cache";
    ASSERT_TRUE(SendHook(main, L"cachefolder\n" + moved));
    harness::SendCopyData(main, second);
    EXPECT_TRUE(WaitIdle(main, 3));
    std::vector<thumbs::CacheEntryInfo> entries;
    ASSERT_TRUE(thumbs::ListCacheEntries(moved, &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].record.path, second);
    EXPECT_EQ(CachedFolders(copy), both);
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    EXPECT_EQ(copy.ReadSettings().cacheFolder, moved);
}

} // namespace
