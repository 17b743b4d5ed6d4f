// Starts private copies of the real Quorle.exe and looks at them from outside, as a user's desktop
// would: the window tree, the single-instance handoff, the start-up checks and the settings file.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

class QuorleE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
};

std::vector<harness::ChildInfo> ChildrenOfClass(HWND top, const std::wstring& cls) {
    std::vector<harness::ChildInfo> found;
    for (const harness::ChildInfo& c : harness::Children(top))
        if (c.className == cls)
            found.push_back(c);
    return found;
}

int Width(const RECT& r) { return r.right - r.left; }

TEST_F(QuorleE2e, OpensTheMainWindowWithToolbarsTreeAreaAndPanes) {
    QuorleCopy copy;
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    ASSERT_NE(main, nullptr) << "no main window within 30 s";
    harness::PumpFor(1500);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(harness::WindowText(main), L"<1> Quorle");

    struct Expected {
        int id;
        const wchar_t* cls;
        bool visible;
    } expected[] = {
        {200, L"ReBarWindow32", true},       {201, L"ToolbarWindow32", true}, {202, L"ToolbarWindow32", true},
        {210, L"ComboBox", true},            {300, L"Quorle_client_class", true},
        {400, L"Quorle_trbase_class", true}, {401, L"SysTabControl32", true}, {402, L"SysTreeView32", true},
        {403, L"ListBox", false},            {500, L"Quorle_bswin1_class", true},
        {501, L"Quorle_bswin2_class", true},
    };
    for (const Expected& e : expected) {
        HWND child = ChildById(main, e.id);
        ASSERT_NE(child, nullptr) << "control " << e.id;
        EXPECT_EQ(harness::WindowClassName(child), e.cls) << "control " << e.id;
        EXPECT_EQ(IsWindowVisible(child) != 0, e.visible) << "control " << e.id;
    }
    EXPECT_EQ(SendMessageW(ChildById(main, 401), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(ChildById(main, 201), TB_BUTTONCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(ChildById(main, 202), TB_BUTTONCOUNT, 0, 0), 18);
    EXPECT_EQ(SendMessageW(ChildById(main, 210), CB_GETCOUNT, 0, 0), 9);
    // The layout of both panes: tree 170 wide, each pane ((client width - 170) / 2) - 1.
    RECT client = e2e::ScreenRect(ChildById(main, 300));
    const int c = (Width(client) - 170) / 2 - 1;
    EXPECT_EQ(Width(e2e::ScreenRect(ChildById(main, 400))), 170);
    EXPECT_EQ(Width(e2e::ScreenRect(ChildById(main, 500))), c);
    EXPECT_EQ(e2e::ScreenRect(ChildById(main, 501)).right, client.right);
    std::vector<harness::ChildInfo> status = ChildrenOfClass(main, L"msctls_statusbar32");
    ASSERT_EQ(status.size(), 2u);
    for (const harness::ChildInfo& s : status) {
        EXPECT_EQ(s.id, 503);
        EXPECT_TRUE(s.visible);
        EXPECT_EQ(SendMessageW(s.hwnd, SB_GETPARTS, 0, 0), 6);
    }
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"startup_main_window", main).empty());

    // The check states follow the settings: both panes, tree shown, preview on click, captions.
    HWND commands = ChildById(main, 202);
    EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5123, 0));
    EXPECT_FALSE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5121, 0));
    EXPECT_FALSE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5110, 0));
    EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5180, 0));
    EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5130, 0));
    for (int button : {5110, 5123, 5121, 5122, 5180, 5130, 5140, 5161, 5160, 5700, 5800, 5400})
        EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONENABLED, static_cast<WPARAM>(button), 0)) << button;

    // Tab is the default shortcut of 5110: through the message loop's accelerators it hides the tree.
    PostMessageW(ChildById(main, 502), WM_KEYDOWN, VK_TAB, 1);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindowVisible(ChildById(main, 400)); }, 5000));
    EXPECT_EQ(e2e::ScreenRect(ChildById(main, 500)).left, client.left);
    EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5110, 0));
    PostMessageW(ChildById(main, 502), WM_KEYDOWN, VK_TAB, 1);
    ASSERT_TRUE(harness::PumpUntil([&] { return IsWindowVisible(ChildById(main, 400)) != 0; }, 5000));

    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    EXPECT_TRUE(harness::WaitWindowGone(kMainClass, 2000));
    // Closing wrote a complete settings file.
    settings::SettingsReader reader;
    settings::Settings saved = copy.ReadSettings(&reader);
    EXPECT_TRUE(reader.Loaded());
    EXPECT_EQ(reader.EntryCount(), settings::kKeyCount);
    EXPECT_EQ(reader.FormatVersion(), settings::kFormatVersion);
    EXPECT_EQ(saved.languageModule, L"English");
    EXPECT_EQ(saved.treeWidth, 170);
    EXPECT_FALSE(saved.accelerators.empty()) << "the live accelerator table is saved";
}

TEST_F(QuorleE2e, ASecondStartRaisesTheFirstHandsOverItsPathAndEnds) {
    QuorleCopy copy;
    harness::Process first;
    HWND main = copy.Start(first);
    ASSERT_NE(main, nullptr);
    harness::PumpFor(500);
    ShowWindow(main, SW_MINIMIZE);
    ASSERT_TRUE(harness::PumpUntil([&] { return IsIconic(main) != 0; }, 5000));

    harness::Process second;
    ASSERT_TRUE(second.Start(copy.Exe(), L"\"" + copy.Folder() + L"\"", copy.Folder()));
    DWORD code = 1;
    ASSERT_TRUE(second.Wait(30000, &code)) << "the second instance did not end";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(harness::PumpUntil([&] { return !IsIconic(main); }, 5000)) << "the first instance was not restored";
    EXPECT_EQ(e2e::CountTopWindows(kMainClass), 1);
    EXPECT_EQ(GetForegroundWindow(), main);

    // Without an argument the second start only raises the first.
    harness::Process third;
    ASSERT_TRUE(third.Start(copy.Exe(), L"", copy.Folder()));
    ASSERT_TRUE(third.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(e2e::CountTopWindows(kMainClass), 1);

    // The receiving side always answers 1, for any path, even a missing one.
    EXPECT_EQ(harness::SendCopyData(main, copy.Folder()), 1);
    EXPECT_EQ(harness::SendCopyData(main, L"Q:\\does\\not\\exist"), 1);
    EXPECT_EQ(QuorleCopy::Close(first, main), 0u);
}

// The folder that non-portable use would write to.
std::wstring AppDataQuorle() {
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    return std::wstring(appData) + L"\\Quorle";
}

struct FileState {
    bool exists = false;
    FILETIME written = {};
};

FileState StateOf(const std::wstring& path) {
    FileState s;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        s.exists = true;
        s.written = data.ftLastWriteTime;
    }
    return s;
}

TEST_F(QuorleE2e, WithQuorleIniBesideTheExeNothingIsWrittenToAppData) {
    const std::wstring folder = AppDataQuorle(), ini = folder + L"\\Quorle.ini";
    const FileState folderBefore = StateOf(folder), iniBefore = StateOf(ini);
    QuorleCopy copy;
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    const FileState folderAfter = StateOf(folder), iniAfter = StateOf(ini);
    EXPECT_EQ(folderAfter.exists, folderBefore.exists);
    EXPECT_EQ(iniAfter.exists, iniBefore.exists);
    EXPECT_EQ(CompareFileTime(&iniAfter.written, &iniBefore.written), 0);
    EXPECT_GT(fixtures::ReadWholeFile(copy.SettingsPath()).size(), 1380u) << "the portable file was written";
}

// Finds the message box of process `pid` and returns its text; closes it.
std::wstring TakeMessageBox(DWORD pid, std::wstring* caption) {
    HWND box = harness::FindShownDialog(30000, pid);
    if (!box)
        return L"(no message box)";
    *caption = harness::WindowText(box);
    std::wstring text;
    for (const harness::ChildInfo& c : harness::Children(box))
        if (c.className == L"Static" && !c.text.empty())
            text = c.text;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

TEST_F(QuorleE2e, AnyOtherExecutableNameFailsToStart) {
    for (const wchar_t* name : {L"Quorlex.exe", L"Viewer.exe"}) {
        QuorleCopy copy(name);
        harness::Process quorle;
        ASSERT_TRUE(quorle.Start(copy.Exe(), L"", copy.Folder()));
        std::wstring caption;
        EXPECT_EQ(TakeMessageBox(quorle.Id(), &caption), L"Failed to execute file.") << name;
        EXPECT_EQ(caption, L"Error");
        DWORD code = 1;
        ASSERT_TRUE(quorle.Wait(20000, &code)) << name;
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(e2e::CountTopWindows(kMainClass), 0);
    }
}

TEST_F(QuorleE2e, TheNameInCapitalsIsAccepted) {
    QuorleCopy copy(L"QUORLE.EXE");
    harness::Process quorle;
    HWND main = copy.Start(quorle);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
}

TEST_F(QuorleE2e, AMissingLanguageModuleStopsTheStart) {
    QuorleCopy copy;
    ASSERT_TRUE(DeleteFileW((copy.Folder() + L"\\English.dll").c_str()));
    harness::Process quorle;
    ASSERT_TRUE(quorle.Start(copy.Exe(), L"", copy.Folder()));
    std::wstring caption;
    EXPECT_EQ(TakeMessageBox(quorle.Id(), &caption), L"Language file not found.");
    DWORD code = 1;
    ASSERT_TRUE(quorle.Wait(20000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(QuorleE2e, PlacementTreeWidthAndLayoutSurviveARestart) {
    QuorleCopy copy;
    settings::Settings s;
    s.languageModule = L"English";
    s.windowLeft = 150;
    s.windowTop = 120;
    s.windowWidth = 700;
    s.windowHeight = 500;
    s.treeWidth = 220;
    s.paneLayout = 0;
    ASSERT_TRUE(copy.WriteSettings(s));

    harness::Process run1;
    HWND main = copy.Start(run1);
    ASSERT_NE(main, nullptr);
    harness::PumpFor(500);
    RECT r = e2e::ScreenRect(main);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 120);
    EXPECT_EQ(Width(r), 700);
    EXPECT_EQ(r.bottom - r.top, 500);
    EXPECT_EQ(Width(e2e::ScreenRect(ChildById(main, 400))), 220);
    EXPECT_TRUE(IsWindowVisible(ChildById(main, 500)));
    EXPECT_FALSE(IsWindowVisible(ChildById(main, 501)));
    EXPECT_TRUE(SendMessageW(ChildById(main, 202), TB_ISBUTTONCHECKED, 5121, 0));
    EXPECT_FALSE(SendMessageW(ChildById(main, 202), TB_ISBUTTONCHECKED, 5123, 0));
    // Both panes again (command 5123), then a new place and size.
    PostMessageW(main, WM_COMMAND, 5123, 0);
    EXPECT_TRUE(harness::PumpUntil([&] { return IsWindowVisible(ChildById(main, 501)) != 0; }, 5000));
    SetWindowPos(main, nullptr, 100, 80, 900, 560, SWP_NOZORDER | SWP_NOACTIVATE);
    harness::PumpFor(300);
    ASSERT_EQ(QuorleCopy::Close(run1, main), 0u);

    settings::Settings saved = copy.ReadSettings();
    EXPECT_EQ(saved.windowLeft, 100);
    EXPECT_EQ(saved.windowTop, 80);
    EXPECT_EQ(saved.windowWidth, 900);
    EXPECT_EQ(saved.windowHeight, 560);
    EXPECT_FALSE(saved.windowMaximised);
    EXPECT_EQ(saved.treeWidth, 220);
    EXPECT_EQ(saved.paneLayout, 2);

    harness::Process run2;
    main = copy.Start(run2);
    ASSERT_NE(main, nullptr);
    harness::PumpFor(500);
    r = e2e::ScreenRect(main);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 80);
    EXPECT_EQ(Width(r), 900);
    EXPECT_EQ(Width(e2e::ScreenRect(ChildById(main, 400))), 220);
    EXPECT_TRUE(IsWindowVisible(ChildById(main, 501)));
    ShowWindow(main, SW_MAXIMIZE);
    ASSERT_TRUE(harness::PumpUntil([&] { return IsZoomed(main) != 0; }, 5000));
    ASSERT_EQ(QuorleCopy::Close(run2, main), 0u);

    saved = copy.ReadSettings();
    EXPECT_TRUE(saved.windowMaximised);
    EXPECT_EQ(saved.windowLeft, 100) << "the normal rectangle is kept while maximised";
    EXPECT_EQ(saved.windowWidth, 900);

    harness::Process run3;
    main = copy.Start(run3);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return IsZoomed(main) != 0; }, 5000)) << "restarted maximised";
    EXPECT_EQ(QuorleCopy::Close(run3, main), 0u);
}

} // namespace
