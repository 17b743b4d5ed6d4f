// The folder tree of the real program, looked at and clicked from outside: what a new user sees,
// navigation into the panes with their marks, and folders changed by another program.
#include <gtest/gtest.h>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/remote_buffer.h"
#include "tests/e2e/steps.h"

#include "folder/shell_tree_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;
using e2e::ChildNamed;
using e2e::ChildTexts;
using e2e::NextItem;
using e2e::RemoteBuffer;

// A press and release on the item's label, as the mouse would give them.
void ClickItem(HWND tree, RemoteBuffer& remote, HTREEITEM item) {
    const RECT r = remote.ItemRect(tree, item, true);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree, WM_LBUTTONUP, 0, at);
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

void PressKey(HWND target, UINT key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// The pointer moves to a point of `window` (client coordinates), as the mouse would take it there.
void PointAt(HWND window, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    SetCursorPos(p.x, p.y);
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

class TreeE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }
    void TearDown() override {
        if (main_) {
            EXPECT_EQ(QuorleCopy::Close(process_, main_), 0u);
        }
        // The pointer is parked off where the next program's window opens.
        SetCursorPos(0, 0);
    }
    // Starts the copy; the tree is ready once both roots are in it.
    void Start() {
        main_ = copy_.Start(process_);
        ASSERT_NE(main_, nullptr) << "no main window within 30 s";
        ASSERT_TRUE(harness::PumpUntil([&] { return (tree_ = ChildById(main_, 402)) != nullptr; }, 10000));
        // The program fills the tree once the first screen of thumbnails is out (or at once without
        // a folder, and within a few seconds in any case); its mark says the roots are all in.
        ASSERT_TRUE(harness::PumpUntil([&] { return GetPropW(tree_, shelltree::kFilledProperty) != nullptr; }, 30000))
            << "the folder tree was not filled";
        ASSERT_GE(SendMessageW(tree_, TVM_GETCOUNT, 0, 0), 2);
        harness::PumpFor(1500);
    }
    HTREEITEM Roots() { return NextItem(tree_, NextItem(tree_, nullptr, TVGN_ROOT), TVGN_NEXT); }

    QuorleCopy copy_;
    harness::Process process_;
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
};

TEST_F(TreeE2e, ANewUserSeesTheDesktopAndThePicturesFolder) {
    ASSERT_NO_FATAL_FAILURE(Start());
    RemoteBuffer remote(tree_);
    ASSERT_TRUE(remote.Ok());
    HTREEITEM desktop = NextItem(tree_, nullptr, TVGN_ROOT);
    EXPECT_EQ(remote.ItemText(tree_, desktop), L"Desktop");
    EXPECT_NE(NextItem(tree_, desktop, TVGN_CHILD), nullptr) << "the desktop starts expanded";
    HTREEITEM roots = Roots();
    EXPECT_EQ(remote.ItemText(tree_, roots), L"Root folders");
    EXPECT_EQ(ChildTexts(tree_, remote, roots), std::vector<std::wstring>{L"Pictures"});
    // My Computer lists the drives; each drive root shows its button without being opened.
    HTREEITEM computer = ChildNamed(tree_, remote, desktop, L"My Computer");
    ASSERT_NE(computer, nullptr);
    SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(computer));
    HTREEITEM drive = nullptr;
    for (HTREEITEM c = NextItem(tree_, computer, TVGN_CHILD); c; c = NextItem(tree_, c, TVGN_NEXT))
        if (remote.ItemText(tree_, c).find(L"C:") != std::wstring::npos)
            drive = c;
    ASSERT_NE(drive, nullptr) << ::testing::PrintToString(ChildTexts(tree_, remote, computer));
    EXPECT_EQ(remote.ChildrenCount(tree_, drive), 1);
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_new_user", main_).empty());
}

TEST_F(TreeE2e, ClickingLoadsTheActivePaneShiftTheOtherAndTheTreeMarksBoth) {
    fixtures::TempFolder photos;
    ASSERT_TRUE(CreateDirectoryW((photos / L"alpha").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((photos / L"beta").c_str(), nullptr));
    settings::Settings s;
    s.treeRoots = {{photos.Path(), 1}};
    ASSERT_TRUE(copy_.WriteSettings(s));
    ASSERT_NO_FATAL_FAILURE(Start());
    RemoteBuffer remote(tree_);
    ASSERT_TRUE(remote.Ok());
    HTREEITEM root = NextItem(tree_, Roots(), TVGN_CHILD);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(ChildTexts(tree_, remote, root), (std::vector<std::wstring>{L"alpha", L"beta"}))
        << "a root folder marked for it is expanded at start";
    HTREEITEM alpha = ChildNamed(tree_, remote, root, L"alpha");
    HTREEITEM beta = ChildNamed(tree_, remote, root, L"beta");

    ClickItem(tree_, remote, alpha);
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main_).find(L"alpha") != std::wstring::npos; },
                                   10000))
        << harness::WindowText(main_);
    EXPECT_EQ(harness::WindowText(main_).substr(0, 4), L"<1> ");
    {
        e2e::SharedShift shift(main_);
        ASSERT_TRUE(shift.Attached());
        ClickItem(tree_, remote, beta);
        harness::PumpFor(800);
    }
    HWND status2 = nullptr;
    for (const harness::ChildInfo& c : harness::Children(ChildById(main_, 501)))
        if (c.id == 503)
            status2 = c.hwnd;
    ASSERT_NE(status2, nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return remote.StatusText(status2, 5).find(L"beta") != std::wstring::npos; },
                                   10000))
        << "pane 2 shows " << std::string(remote.StatusText(status2, 5).begin(), remote.StatusText(status2, 5).end());
    EXPECT_NE(harness::WindowText(main_).find(L"alpha"), std::wstring::npos) << "pane 1 stays active";

    // Both marks: pane 1's band on alpha, pane 2's on beta, at the rows' right ends.
    InvalidateRect(tree_, nullptr, TRUE);
    harness::PumpFor(600);
    RECT client;
    GetClientRect(tree_, &client);
    const RECT ra = remote.ItemRect(tree_, alpha), rb = remote.ItemRect(tree_, beta);
    EXPECT_EQ(ScreenPixel(tree_, client.right - 3, (ra.top + ra.bottom) / 2), COLORREF(0xFFF0D8));
    EXPECT_EQ(ScreenPixel(tree_, client.right - 3, (rb.top + rb.bottom) / 2), COLORREF(0xE0FFD0));
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_both_marks", main_).empty());
}

// Virtual folders are marked too: the pane's location and the item are compared by their item-ID
// lists, so a second click on the item leaves the pane as it is.
TEST_F(TreeE2e, AShellFolderShownInAPaneIsMarkedAndNotLoadedAgain) {
    ASSERT_NO_FATAL_FAILURE(Start());
    RemoteBuffer remote(tree_);
    ASSERT_TRUE(remote.Ok());
    // The recycle bin, by the name the shell gives it here.
    std::wstring binName;
    {
        PIDLIST_ABSOLUTE list = nullptr;
        ASSERT_TRUE(SUCCEEDED(SHGetFolderLocation(nullptr, CSIDL_BITBUCKET, nullptr, 0, &list)));
        SHFILEINFOW info = {};
        SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_DISPLAYNAME);
        CoTaskMemFree(list);
        binName = info.szDisplayName;
    }
    ASSERT_FALSE(binName.empty());
    HTREEITEM desktop = NextItem(tree_, nullptr, TVGN_ROOT);
    HTREEITEM bin = ChildNamed(tree_, remote, desktop, binName);
    ASSERT_NE(bin, nullptr) << ::testing::PrintToString(ChildTexts(tree_, remote, desktop));
    ClickItem(tree_, remote, bin);
    EXPECT_TRUE(harness::PumpUntil([&] { return harness::WindowText(main_) == L"<1> " + binName; }, 10000))
        << harness::WindowText(main_);
    InvalidateRect(tree_, nullptr, TRUE);
    harness::PumpFor(600);
    RECT client;
    GetClientRect(tree_, &client);
    const RECT r = remote.ItemRect(tree_, bin);
    EXPECT_EQ(ScreenPixel(tree_, client.right - 3, (r.top + r.bottom) / 2), COLORREF(0xFFF0D8)) << "pane 1's band";

    // A pane that is loaded empties its status bar's count first; one left alone keeps it.
    HWND status1 = nullptr;
    for (const harness::ChildInfo& c : harness::Children(ChildById(main_, 500)))
        if (c.id == 503)
            status1 = c.hwnd;
    ASSERT_NE(status1, nullptr);
    const std::wstring count = remote.StatusText(status1, 4);
    ASSERT_FALSE(count.empty());
    remote.SetStatusText(status1, 4, L"unchanged");
    ClickItem(tree_, remote, bin);
    harness::PumpFor(1000);
    EXPECT_EQ(remote.StatusText(status1, 4), L"unchanged") << "the pane was loaded again";
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_shell_folder_marked", main_).empty());
}

TEST_F(TreeE2e, FoldersChangedByAnotherProgramAppearMoveAndDisappear) {
    fixtures::TempFolder photos;
    for (const wchar_t* name : {L"b", L"d"})
        ASSERT_TRUE(CreateDirectoryW((photos / name).c_str(), nullptr));
    settings::Settings s;
    s.treeRoots = {{photos.Path(), 1}, {L"Q:\\", 0}};
    ASSERT_TRUE(copy_.WriteSettings(s));
    ASSERT_NO_FATAL_FAILURE(Start());
    RemoteBuffer remote(tree_);
    HTREEITEM root = NextItem(tree_, Roots(), TVGN_CHILD);
    ASSERT_EQ(ChildTexts(tree_, remote, root), (std::vector<std::wstring>{L"b", L"d"}));

    const std::wstring c = photos / L"c";
    ASSERT_TRUE(CreateDirectoryW(c.c_str(), nullptr));
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, c.c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return ChildTexts(tree_, remote, root).size() == 3; }, 10000));
    EXPECT_EQ(ChildTexts(tree_, remote, root), (std::vector<std::wstring>{L"b", L"c", L"d"}));

    const std::wstring a = photos / L"a";
    ASSERT_TRUE(MoveFileW(c.c_str(), a.c_str()));
    SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW | SHCNF_FLUSH, c.c_str(), a.c_str());
    EXPECT_TRUE(harness::PumpUntil(
        [&] { return ChildTexts(tree_, remote, root) == std::vector<std::wstring>{L"a", L"b", L"d"}; }, 10000));

    ASSERT_TRUE(RemoveDirectoryW((photos / L"b").c_str()));
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, (photos / L"b").c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil(
        [&] { return ChildTexts(tree_, remote, root) == std::vector<std::wstring>{L"a", L"d"}; }, 10000));

    // A root on a drive that is not there keeps its button and the window keeps answering.
    // The shell names the drive ("Q:" with its label, if any).
    HTREEITEM drive = nullptr;
    for (HTREEITEM r = NextItem(tree_, Roots(), TVGN_CHILD); r; r = NextItem(tree_, r, TVGN_NEXT))
        if (remote.ItemText(tree_, r).find(L"Q:") != std::wstring::npos)
            drive = r;
    ASSERT_NE(drive, nullptr) << ::testing::PrintToString(ChildTexts(tree_, remote, Roots()));
    EXPECT_EQ(remote.ChildrenCount(tree_, drive), 1);
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer));
}

TEST_F(TreeE2e, TheTreeTakesTheKeyboardWhileThePointerIsOverIt) {
    ASSERT_NO_FATAL_FAILURE(Start());
    SetForegroundWindow(main_);
    harness::PumpFor(500);
    HWND area = ChildById(main_, 400);
    HWND commands = ChildById(main_, 202);
    ASSERT_TRUE(IsWindowVisible(area));

    // Over the tree, Tab is the tree's key, not the shortcut that hides the tree area.
    PointAt(tree_, 40, 60);
    EXPECT_TRUE(harness::PumpUntil([&] { return FocusOf(main_) == tree_; }, 3000));
    PressKey(tree_, VK_TAB);
    harness::PumpFor(500);
    EXPECT_TRUE(IsWindowVisible(area)) << "the shortcut ran while the pointer was over the tree";
    EXPECT_FALSE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5110, 0));

    // Away from it, the keyboard is the active pane's again and Tab hides the tree area.
    HWND pane = ChildById(main_, 500);
    RECT r = {};
    GetClientRect(pane, &r);
    PointAt(pane, r.right / 2, r.bottom / 2);
    EXPECT_TRUE(harness::PumpUntil([&] { return FocusOf(main_) != tree_ && FocusOf(main_) != nullptr; }, 3000));
    PressKey(FocusOf(main_), VK_TAB);
    EXPECT_TRUE(harness::PumpUntil([&] { return !IsWindowVisible(area); }, 3000));
    EXPECT_TRUE(SendMessageW(commands, TB_ISBUTTONCHECKED, 5110, 0));
}

TEST_F(TreeE2e, ARightClickOpensTheTreeMenuOnThatItem) {
    ASSERT_NO_FATAL_FAILURE(Start());
    SetForegroundWindow(main_);
    RemoteBuffer remote(tree_);
    HTREEITEM pictures = NextItem(tree_, Roots(), TVGN_CHILD);
    ASSERT_NE(pictures, nullptr);
    const RECT r = remote.ItemRect(tree_, pictures, true);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree_, WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(tree_, WM_RBUTTONUP, 0, at);
    HWND menu = harness::FindTopWindow(L"#32768", 5000, process_.Id());
    ASSERT_NE(menu, nullptr) << "no popup menu";
    harness::PumpFor(300);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_menu").empty());
    // The menu is about the pressed item: its mnemonic removes that root folder.
    PostMessageW(menu, WM_CHAR, L'm', 1);
    EXPECT_TRUE(harness::PumpUntil([&] { return NextItem(tree_, Roots(), TVGN_CHILD) == nullptr; }, 5000));
    EXPECT_FALSE(IsWindowVisible(menu));
    EXPECT_EQ(remote.ChildrenCount(tree_, Roots()), 0) << "no root folders left: no button";
}

} // namespace
