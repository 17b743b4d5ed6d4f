// The shell folder tree in a real tree-view control of this process, driven by mouse and keyboard
// messages and by the shell's change notifications, over folders the tests make.
#include "folder/shell_tree_win.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>

#include "common/scoped_win.h"
#include "folder/names.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"
#include "common/path.h"

namespace {

const wchar_t kHostClass[] = L"Quorle_tree_test_class";

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NOTIFY) {
        bool handled = false;
        const LRESULT result = shelltree::OnTreeNotify(reinterpret_cast<NMHDR*>(lp), &handled);
        if (handled)
            return result;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

void MakeFolder(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "mkdir"; }
void MakeFile(const std::wstring& path) { ASSERT_TRUE(fixtures::ByteWriter().Bytes({'P', 'K', 5, 6}).SaveTo(path)); }

class ShellTreeUi : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kHostClass;
        RegisterClassExW(&wc);
        top_ = CreateWindowExW(0, kHostClass, L"Tree test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 340, 640,
                               nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(top_, nullptr);
        tree_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr,
                                WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                    TVS_SHOWSELALWAYS,
                                4, 4, 310, 580, top_, reinterpret_cast<HMENU>(402), wc.hInstance, nullptr);
        ASSERT_NE(tree_, nullptr);
        ASSERT_TRUE(shelltree::StartShellTree());
        // A folder of our own: a root folder the tests fill.
        root_ = folder_.Path();
        roots_ = {{root_, 0}};
        options_.rootFoldersCaption = L"Root folders";
        options_.expandDesktop = false;
        options_.roots = &roots_;
        host_.activePane = [this] { return active_; };
        host_.paneShows = [this](int pane, const msg::LocationRequest& l) {
            for (const std::wstring& p : shown_[pane])
                if (l.kind == 0 && paths::EqualFold(p, l.path))
                    return true;
            return false;
        };
        host_.navigate = [this](std::unique_ptr<msg::LocationRequest> r) { requests_.push_back(*r); };
        host_.showArchivesChanged = [this](bool on) { archivesSetting_ = on; };
        SetForegroundWindow(top_);
    }
    void TearDown() override {
        shelltree::StopShellTree();
        BYTE keys[256] = {};
        SetKeyboardState(keys);
        DestroyWindow(top_);
        UnregisterClassW(kHostClass, GetModuleHandleW(nullptr));
        CoUninitialize();
    }

    void Create() {
        ASSERT_TRUE(shelltree::CreateRoots(tree_, options_, host_));
        Settle();
    }
    // Waits until the worker has answered every children check.
    void Settle() {
        EXPECT_TRUE(harness::PumpUntil([] { return shelltree::PendingChecks() == 0; }, 10000));
        harness::PumpFor(50);
    }
    HTREEITEM Child(HTREEITEM parent, const std::wstring& text) {
        for (HTREEITEM c = TreeView_GetChild(tree_, parent); c; c = TreeView_GetNextSibling(tree_, c)) {
            shelltree::ItemFacts f;
            if (shelltree::ItemFactsOf(c, &f) && (f.text == text || paths::EqualFold(f.path, text)))
                return c;
        }
        return nullptr;
    }
    std::vector<std::wstring> Texts(HTREEITEM parent) {
        std::vector<std::wstring> out;
        for (HTREEITEM c = TreeView_GetChild(tree_, parent); c; c = TreeView_GetNextSibling(tree_, c)) {
            shelltree::ItemFacts f;
            shelltree::ItemFactsOf(c, &f);
            out.push_back(f.text);
        }
        return out;
    }
    shelltree::ItemFacts Facts(HTREEITEM item) {
        shelltree::ItemFacts f;
        EXPECT_TRUE(shelltree::ItemFactsOf(item, &f));
        return f;
    }
    // Our root folder under the root-folders item, expanded.
    HTREEITEM OpenRoot() {
        HTREEITEM rootItem = Child(shelltree::RootFoldersItem(), root_);
        EXPECT_NE(rootItem, nullptr);
        TreeView_Expand(tree_, rootItem, TVE_EXPAND);
        Settle();
        return rootItem;
    }
    void Click(HTREEITEM item) {
        TreeView_EnsureVisible(tree_, item);
        RECT r = {};
        ASSERT_TRUE(TreeView_GetItemRect(tree_, item, &r, TRUE));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(tree_, WM_LBUTTONUP, 0, at);
        harness::PumpFor(150);
    }
    void HoldShift(bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    COLORREF PixelAt(HTREEITEM item, int yFromTop, int* rowHeight = nullptr) {
        RECT r = {};
        TreeView_GetItemRect(tree_, item, &r, FALSE);
        if (rowHeight)
            *rowHeight = r.bottom - r.top;
        RECT client;
        GetClientRect(tree_, &client);
        HDC dc = GetDC(tree_);
        const COLORREF c = GetPixel(dc, client.right - 4, r.top + yFromTop);
        ReleaseDC(tree_, dc);
        return c;
    }

    fixtures::TempFolder folder_;
    std::wstring root_;
    std::vector<settings::TreeRoot> roots_;
    shelltree::TreeOptions options_;
    shelltree::TreeHost host_;
    int active_ = 0;
    std::vector<std::wstring> shown_[2];
    std::vector<msg::LocationRequest> requests_;
    bool archivesSetting_ = true;
    HWND top_ = nullptr;
    HWND tree_ = nullptr;
};

TEST_F(ShellTreeUi, ShowsTheDesktopAndTheRootFoldersWithTheirWorker) {
    wchar_t pictures[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, 0, pictures)));
    roots_ = {{pictures, 0}};
    options_.expandDesktop = true;
    Create();
    EXPECT_NE(FindWindowExW(HWND_MESSAGE, nullptr, L"shell_msg_class", nullptr), nullptr);

    const shelltree::ItemFacts desktop = Facts(shelltree::DesktopRoot());
    EXPECT_EQ(desktop.itemClass, 1);
    EXPECT_EQ(desktop.kind, 1);
    EXPECT_TRUE(desktop.enumerated);
    EXPECT_FALSE(Texts(shelltree::DesktopRoot()).empty()) << "the desktop lists its folders";

    const shelltree::ItemFacts roots = Facts(shelltree::RootFoldersItem());
    EXPECT_EQ(roots.itemClass, 0);
    EXPECT_EQ(roots.text, L"Root folders");
    HTREEITEM pics = Child(shelltree::RootFoldersItem(), pictures);
    ASSERT_NE(pics, nullptr);
    EXPECT_EQ(Facts(pics).itemClass, 2);
    EXPECT_EQ(Facts(pics).kind, 0);
    EXPECT_EQ(TreeView_GetNextSibling(tree_, shelltree::DesktopRoot()), shelltree::RootFoldersItem());

    SetForegroundWindow(top_);
    RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    harness::PumpFor(200);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_roots", top_).empty());
}

TEST_F(ShellTreeUi, ExpandsLazilyAndClassifiesChildren) {
    for (const wchar_t* name : {L"b", L"a", L"deep", L"deep\\inner", L"empty", L"onlyzip"})
        MakeFolder(folder_ / name);
    MakeFile(folder_ / L"x.zip");
    MakeFile(folder_ / L"y.jpg");
    MakeFile(folder_ / L"onlyzip\\z.zip");
    Create();
    HTREEITEM rootItem = Child(shelltree::RootFoldersItem(), root_);
    ASSERT_NE(rootItem, nullptr);
    EXPECT_FALSE(Facts(rootItem).enumerated) << "children are filled on the first expansion only";
    EXPECT_TRUE(Facts(rootItem).hasButton);
    OpenRoot();

    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"a", L"b", L"deep", L"empty", L"onlyzip", L"x.zip"}));
    const shelltree::ItemFacts zip = Facts(Child(rootItem, L"x.zip"));
    EXPECT_EQ(zip.kind, 2);
    EXPECT_FALSE(zip.hasButton) << "an archive has no children";
    EXPECT_EQ(zip.itemClass, 3);
    EXPECT_TRUE(Facts(Child(rootItem, L"deep")).hasButton);
    EXPECT_TRUE(Facts(Child(rootItem, L"onlyzip")).hasButton) << "archives count as children";
    EXPECT_FALSE(Facts(Child(rootItem, L"empty")).hasButton) << "the worker removed the button";
    EXPECT_FALSE(Facts(Child(rootItem, L"a")).hasButton);
    EXPECT_EQ(Facts(Child(rootItem, L"a")).path, folder_ / L"a");
}

TEST_F(ShellTreeUi, TurningArchivesOffRemovesThemAndButtonsOfFoldersHoldingOnlyArchives) {
    for (const wchar_t* name : {L"open", L"closed", L"mixed", L"mixed\\sub"})
        MakeFolder(folder_ / name);
    MakeFile(folder_ / L"top.zip");
    MakeFile(folder_ / L"open\\a.zip");
    MakeFile(folder_ / L"closed\\b.zip");
    MakeFile(folder_ / L"mixed\\c.zip");
    Create();
    HTREEITEM rootItem = OpenRoot();
    HTREEITEM open = Child(rootItem, L"open");
    TreeView_Expand(tree_, open, TVE_EXPAND);
    Settle();
    ASSERT_EQ(Texts(open), std::vector<std::wstring>{L"a.zip"});
    ASSERT_TRUE(Facts(Child(rootItem, L"closed")).hasButton);

    ASSERT_TRUE(shelltree::RunTreeCommand(cmd::kShowArchives, rootItem));
    EXPECT_FALSE(archivesSetting_) << "the switch goes back to the settings";
    Settle();
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"closed", L"mixed", L"open"}));
    EXPECT_TRUE(Texts(open).empty());
    EXPECT_FALSE(Facts(open).hasButton) << "expanded folder left empty";
    EXPECT_FALSE(Facts(Child(rootItem, L"closed")).hasButton) << "unexpanded folder with only an archive";
    EXPECT_TRUE(Facts(Child(rootItem, L"mixed")).hasButton);

    shelltree::SetShowArchives(true);
    Settle();
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"closed", L"mixed", L"open", L"top.zip"}));
    EXPECT_EQ(Texts(open), std::vector<std::wstring>{L"a.zip"});
    EXPECT_TRUE(Facts(Child(rootItem, L"closed")).hasButton);
}

TEST_F(ShellTreeUi, DriveRootsKeepTheirButtonAndVanishedRootsAreNotShown) {
    // Q: does not exist: a check that enumerated it would take the button away.
    roots_ = {{L"Q:\\", 0}, {folder_ / L"gone", 0}, {root_, 0}};
    Create();
    HTREEITEM drive = Child(shelltree::RootFoldersItem(), L"Q:\\");
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(Facts(drive).hasButton);
    EXPECT_EQ(Child(shelltree::RootFoldersItem(), folder_ / L"gone"), nullptr);
    EXPECT_EQ(roots_.size(), 3u) << "a vanished root stays in the list";
    EXPECT_EQ(Texts(shelltree::RootFoldersItem()).size(), 2u);
    // Expanding the absent drive takes its button away without touching anything else.
    TreeView_Expand(tree_, drive, TVE_EXPAND);
    Settle();
    EXPECT_FALSE(Facts(drive).hasButton);
}

TEST_F(ShellTreeUi, SelectionLoadsTheActivePaneOrWithShiftTheOther) {
    for (const wchar_t* name : {L"a", L"b", L"c"})
        MakeFolder(folder_ / name);
    active_ = 1;
    Create();
    HTREEITEM rootItem = OpenRoot();
    HTREEITEM a = Child(rootItem, L"a"), b = Child(rootItem, L"b"), c = Child(rootItem, L"c");

    Click(a);
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].kind, 0);
    EXPECT_EQ(requests_[0].path, folder_ / L"a");
    EXPECT_EQ(requests_[0].pane, 1);
    EXPECT_EQ(TreeView_GetSelection(tree_), a);

    HoldShift(true);
    Click(b);
    HoldShift(false);
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_EQ(requests_[1].path, folder_ / L"b");
    EXPECT_EQ(requests_[1].pane, 0) << "Shift loads the other pane";

    // The already-selected item: a click loads it where it is not shown, and only once.
    Click(b);
    ASSERT_EQ(requests_.size(), 3u);
    EXPECT_EQ(requests_[2].pane, 1);
    shown_[1] = {folder_ / L"b"};
    Click(b);
    EXPECT_EQ(requests_.size(), 3u) << "the pane already shows it";

    PostMessageW(tree_, WM_KEYDOWN, VK_DOWN, 0);
    harness::PumpFor(150);
    ASSERT_EQ(requests_.size(), 4u);
    EXPECT_EQ(requests_[3].path, folder_ / L"c");
    EXPECT_EQ(TreeView_GetSelection(tree_), c);

    // Selections the user did not make are refused.
    TreeView_SelectItem(tree_, a);
    EXPECT_EQ(TreeView_GetSelection(tree_), c);
    EXPECT_EQ(requests_.size(), 4u);

    // The root-folders item loads nothing.
    Click(shelltree::RootFoldersItem());
    EXPECT_EQ(requests_.size(), 4u);
}

TEST_F(ShellTreeUi, MarksThePanesLocationsWithColoursAndBands) {
    for (const wchar_t* name : {L"both", L"first", L"plain", L"second"})
        MakeFolder(folder_ / name);
    shown_[0] = {folder_ / L"both", folder_ / L"first"};
    shown_[1] = {folder_ / L"both", folder_ / L"second"};
    Create();
    HTREEITEM rootItem = OpenRoot();
    shelltree::ShellTreePaneChanged(0);
    SetForegroundWindow(top_);
    RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    harness::PumpFor(200);

    int h = 0;
    HTREEITEM both = Child(rootItem, L"both");
    PixelAt(both, 0, &h);
    ASSERT_GT(h, 4);
    const int band = (h - 1) / 2;
    EXPECT_EQ(PixelAt(both, 0), COLORREF(0xFFF0D8)) << "upper band: pane 1";
    EXPECT_EQ(PixelAt(both, h - 1), COLORREF(0xE0FFD0)) << "lower band: pane 2";
    EXPECT_EQ(PixelAt(Child(rootItem, L"first"), h / 2), COLORREF(0xFFF0D8));
    EXPECT_EQ(PixelAt(Child(rootItem, L"first"), (h - band) / 2 - 1), GetSysColor(COLOR_WINDOW)) << "band is centred";
    EXPECT_EQ(PixelAt(Child(rootItem, L"second"), h / 2), COLORREF(0xE0FFD0));
    EXPECT_EQ(PixelAt(Child(rootItem, L"plain"), h / 2), GetSysColor(COLOR_WINDOW));
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"tree_marks", top_).empty());
}

TEST_F(ShellTreeUi, FollowsFoldersCreatedRenamedAndDeletedElsewhere) {
    for (const wchar_t* name : {L"a", L"c", L"closed"})
        MakeFolder(folder_ / name);
    Create();
    HTREEITEM rootItem = OpenRoot();
    ASSERT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"a", L"c", L"closed"}));

    MakeFolder(folder_ / L"b");
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"b").c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Texts(rootItem).size() == 4; }, 5000));
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"a", L"b", L"c", L"closed"})) << "in sorted position";

    ASSERT_TRUE(MoveFileW((folder_ / L"a").c_str(), (folder_ / L"zz").c_str()));
    SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"a").c_str(),
                   (folder_ / L"zz").c_str());
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(rootItem, L"zz") != nullptr; }, 5000));
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"b", L"c", L"closed", L"zz"}));

    ASSERT_TRUE(RemoveDirectoryW((folder_ / L"c").c_str()));
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"c").c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(rootItem, L"c") == nullptr; }, 5000));
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"b", L"closed", L"zz"}));

    // An archive file appears while archives are shown; a folder never opened gains its button.
    MakeFile(folder_ / L"new.zip");
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"new.zip").c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(rootItem, L"new.zip") != nullptr; }, 5000));
    HTREEITEM closed = Child(rootItem, L"closed");
    ASSERT_FALSE(Facts(closed).hasButton);
    MakeFolder(folder_ / L"closed\\inside");
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"closed\\inside").c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Facts(closed).hasButton; }, 5000));
    EXPECT_FALSE(Facts(closed).enumerated);

    // The root folder itself vanishing takes its item away; the list keeps it.
    fixtures::TempFolder other;
    const std::wstring gone = other / L"root";
    MakeFolder(gone);
    roots_.push_back({gone, 0});
    shelltree::RunTreeCommand(cmd::kShowArchives);
    shelltree::RunTreeCommand(cmd::kShowArchives);
    Settle();
    ASSERT_NE(Child(shelltree::RootFoldersItem(), gone), nullptr);
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, gone.c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(shelltree::RootFoldersItem(), gone) == nullptr; }, 5000));
    EXPECT_EQ(roots_.size(), 2u);
    MakeFolder(gone);
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, gone.c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(shelltree::RootFoldersItem(), gone) != nullptr; }, 5000))
        << "the root folder comes back with its folder";
}

TEST_F(ShellTreeUi, AFolderMadeOnTheDesktopAppearsUnderTheDesktopRoot) {
    wchar_t desktopFolder[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(
        SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0, desktopFolder)));
    const std::wstring name = L"quorle-tree-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring path = std::wstring(desktopFolder) + L"\\" + name;
    options_.expandDesktop = true;
    Create();
    ASSERT_EQ(Child(shelltree::DesktopRoot(), name), nullptr);
    MakeFolder(path);
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, path.c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(shelltree::DesktopRoot(), name) != nullptr; }, 5000));
    RemoveDirectoryW(path.c_str());
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, path.c_str(), nullptr);
    EXPECT_TRUE(harness::PumpUntil([&] { return Child(shelltree::DesktopRoot(), name) == nullptr; }, 5000));
}

TEST_F(ShellTreeUi, AddsAndRemovesRootFolders) {
    MakeFolder(folder_ / L"pick");
    Create();
    HTREEITEM rootItem = OpenRoot();
    HTREEITEM pick = Child(rootItem, L"pick");
    bool checked = true;
    EXPECT_FALSE(shelltree::TreeCommandEnabled(cmd::kAddRootFolder, rootItem)) << "already a root";
    EXPECT_FALSE(shelltree::TreeCommandEnabled(cmd::kOpenInPane1, shelltree::RootFoldersItem()));
    EXPECT_FALSE(shelltree::TreeCommandEnabled(cmd::kRemoveRootFolder, pick));
    EXPECT_TRUE(shelltree::TreeCommandEnabled(cmd::kShowArchives, pick, &checked));
    EXPECT_TRUE(checked);

    Click(pick);
    ASSERT_TRUE(shelltree::RunTreeCommand(cmd::kAddRootFolder));
    ASSERT_EQ(roots_.size(), 2u);
    EXPECT_EQ(roots_[1].path, folder_ / L"pick");
    HTREEITEM added = Child(shelltree::RootFoldersItem(), folder_ / L"pick");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(Facts(added).itemClass, 2);
    EXPECT_FALSE(shelltree::RunTreeCommand(cmd::kAddRootFolder, pick)) << "no second entry";

    ASSERT_TRUE(shelltree::TreeCommandEnabled(cmd::kExpandAtStart, added, &checked));
    EXPECT_FALSE(checked);
    ASSERT_TRUE(shelltree::RunTreeCommand(cmd::kExpandAtStart, added));
    EXPECT_EQ(roots_[1].flags & 1, 1);

    ASSERT_TRUE(shelltree::RunTreeCommand(cmd::kRemoveRootFolder, added));
    ASSERT_TRUE(shelltree::RunTreeCommand(cmd::kRemoveRootFolder, Child(shelltree::RootFoldersItem(), root_)));
    EXPECT_TRUE(roots_.empty());
    EXPECT_TRUE(Texts(shelltree::RootFoldersItem()).empty());
    EXPECT_FALSE(Facts(shelltree::RootFoldersItem()).hasButton);
}

TEST_F(ShellTreeUi, TreeMenuOffersOnlyWhatThisBuildCarriesOut) {
    MakeFolder(folder_ / L"pick");
    Create();
    HTREEITEM rootItem = OpenRoot();
    struct Expect {
        HTREEITEM item;
        std::vector<int> enabled;
    } cases[] = {
        {Child(rootItem, L"pick"), {5500, 5501, 5510, 5540, 5570, 5530}},
        {rootItem, {5500, 5501, 5511, 5535, 5540, 5570, 5530}},
        {shelltree::RootFoldersItem(), {5540}},
    };
    const std::vector<int> layout = {5500, 5501, 9900, 5510, 5511, 9900, 5520, 5521, 5522, 9900, 5535, 5540, 9900,
                                     5550, 5560, 5561, 9900, 5570, 5530};
    for (const Expect& e : cases) {
        HMENU menu = shelltree::BuildTreeMenu(e.item);
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(layout.size()));
        for (size_t i = 0; i < layout.size(); ++i) {
            const int id = static_cast<int>(GetMenuItemID(menu, static_cast<int>(i)));
            EXPECT_EQ(id, layout[i]) << "position " << i;
            if (id == 9900)
                continue;
            const bool enabled = !(GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
            const bool wanted = std::find(e.enabled.begin(), e.enabled.end(), id) != e.enabled.end();
            EXPECT_EQ(enabled, wanted) << "command " << id;
        }
        EXPECT_TRUE(GetMenuState(menu, 5540, MF_BYCOMMAND) & MF_CHECKED) << "archives are shown";
        DestroyMenu(menu);
    }
}

// While the tree's menu is open a timer plays the shell and the user: the pressed folder is
// reported deleted and another made, then the menu's first command (open in pane 1) is chosen.
struct MenuRace {
    std::function<void(HWND menu)> step;
    int ticks = 0;
    // A deleted item's handle and the item the control now answers for it: freed handles get reused,
    // and a control need not tell a stale handle from a live one.
    HTREEITEM stale = nullptr;
    HTREEITEM reusedBy = nullptr;
};
MenuRace* g_race = nullptr;

void CALLBACK RaceTick(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = FindWindowW(L"#32768", nullptr);
    if (g_race && ++g_race->ticks < 250) {
        if (menu && IsWindowVisible(menu))
            g_race->step(menu);
    } else {
        EndMenu(); // never left open: the test fails instead of hanging
    }
}

LRESULT CALLBACK ReusingTree(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (message == TVM_GETITEMW && g_race && g_race->reusedBy) {
        TVITEMW* tv = reinterpret_cast<TVITEMW*>(lp);
        if (tv->hItem == g_race->stale) {
            tv->hItem = g_race->reusedBy;
            const LRESULT got = DefSubclassProc(hwnd, message, wp, lp);
            tv->hItem = g_race->stale;
            return got;
        }
    }
    return DefSubclassProc(hwnd, message, wp, lp);
}

void ChooseFirstCommand(HWND menu) {
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

TEST_F(ShellTreeUi, AFolderDeletedWhileTheMenuIsOpenIsNotActedOn) {
    MakeFolder(folder_ / L"a");
    Create();
    HTREEITEM rootItem = OpenRoot();
    HTREEITEM a = Child(rootItem, L"a");
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(SetWindowSubclass(tree_, ReusingTree, 1, 0));
    auto pointAt = [&](HTREEITEM item) {
        TreeView_EnsureVisible(tree_, item);
        RECT r = {};
        TreeView_GetItemRect(tree_, item, &r, TRUE);
        POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(tree_, &at);
        return at;
    };
    auto runMenu = [&](MenuRace& race, POINT at) {
        g_race = &race;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, RaceTick);
        shelltree::ShowTreeMenu(top_, at);
        KillTimer(nullptr, timer);
        g_race = nullptr;
    };

    int stage = 0;
    MenuRace race;
    race.stale = a;
    race.step = [&](HWND menu) {
        if (stage == 0) {
            RemoveDirectoryW((folder_ / L"a").c_str());
            SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"a").c_str(), nullptr);
            MakeFolder(folder_ / L"b");
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, (folder_ / L"b").c_str(), nullptr);
            stage = 1;
        } else if (stage == 1 && !Child(rootItem, L"a") && (race.reusedBy = Child(rootItem, L"b")) != nullptr) {
            ChooseFirstCommand(menu);
            stage = 2;
        }
    };
    runMenu(race, pointAt(a));
    ASSERT_EQ(stage, 2) << "the menu closed before the folders changed";
    EXPECT_TRUE(requests_.empty()) << "the command ran on " << ::testing::PrintToString(requests_[0].path);

    // On an item that stays, the command runs.
    stage = 0;
    MenuRace plain;
    plain.step = [&](HWND menu) {
        if (stage++ == 0)
            ChooseFirstCommand(menu);
    };
    runMenu(plain, pointAt(Child(rootItem, L"b")));
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].path, folder_ / L"b");
    EXPECT_EQ(requests_[0].pane, 0);
    RemoveWindowSubclass(tree_, ReusingTree, 1);
}

TEST_F(ShellTreeUi, InfoMenuOffersTheChooserOnlyWithOne) {
    for (bool available : {true, false}) {
        win::Menu menu(shelltree::BuildInfoMenu(available));
        ASSERT_NE(menu.Get(), nullptr);
        ASSERT_EQ(GetMenuItemCount(menu.Get()), 1);
        EXPECT_EQ(GetMenuItemID(menu.Get(), 0), static_cast<UINT>(cmd::kChooseInfoItems));
        EXPECT_EQ((GetMenuState(menu.Get(), cmd::kChooseInfoItems, MF_BYCOMMAND) & MF_GRAYED) == 0, available);
    }
}

TEST_F(ShellTreeUi, ExpandsRootFoldersMarkedForStart) {
    MakeFolder(folder_ / L"kid");
    roots_[0].flags = 1;
    options_.expandRootFolders = false;
    Create();
    HTREEITEM rootItem = Child(shelltree::RootFoldersItem(), root_);
    ASSERT_NE(rootItem, nullptr);
    EXPECT_TRUE(Facts(rootItem).enumerated);
    EXPECT_EQ(Texts(rootItem), std::vector<std::wstring>{L"kid"});
}

// The program binds first and fills later, possibly asked more than once, and the control may be
// bound again: the roots are in exactly once per binding and the outside mark follows.
TEST_F(ShellTreeUi, RootsAreFilledOncePerBindingAndMarkedWhenIn) {
    MakeFolder(folder_ / L"kid");
    roots_[0].flags = 1;
    ASSERT_TRUE(shelltree::BindRoots(tree_, options_, host_));
    EXPECT_EQ(TreeView_GetCount(tree_), 0u);
    EXPECT_FALSE(shelltree::RootsFilled());
    EXPECT_EQ(GetPropW(tree_, shelltree::kFilledProperty), nullptr);

    ASSERT_TRUE(shelltree::FillRoots());
    Settle();
    const UINT filled = TreeView_GetCount(tree_);
    EXPECT_EQ(filled, 4u) << "desktop, root folders, our root folder and its child";
    EXPECT_TRUE(shelltree::RootsFilled());
    EXPECT_NE(GetPropW(tree_, shelltree::kFilledProperty), nullptr);
    HTREEITEM rootItem = Child(shelltree::RootFoldersItem(), root_);
    ASSERT_NE(rootItem, nullptr);
    EXPECT_EQ(Texts(rootItem), std::vector<std::wstring>{L"kid"});

    EXPECT_TRUE(shelltree::FillRoots());
    Settle();
    EXPECT_EQ(TreeView_GetCount(tree_), filled);
    EXPECT_EQ(Texts(shelltree::RootFoldersItem()).size(), 1u);

    // Bound anew, the control starts empty and unmarked until filled again.
    TreeView_DeleteAllItems(tree_);
    ASSERT_TRUE(shelltree::BindRoots(tree_, options_, host_));
    EXPECT_FALSE(shelltree::RootsFilled());
    EXPECT_EQ(GetPropW(tree_, shelltree::kFilledProperty), nullptr);
    ASSERT_TRUE(shelltree::FillRoots());
    Settle();
    EXPECT_EQ(TreeView_GetCount(tree_), filled);
}

TEST_F(ShellTreeUi, HiddenFoldersFollowTheSwitch) {
    MakeFolder(folder_ / L"seen");
    MakeFolder(folder_ / L"secret");
    ASSERT_TRUE(SetFileAttributesW((folder_ / L"secret").c_str(), FILE_ATTRIBUTE_HIDDEN));
    Create();
    HTREEITEM rootItem = OpenRoot();
    EXPECT_EQ(Texts(rootItem), std::vector<std::wstring>{L"seen"});
    shelltree::SetShowHidden(true);
    Settle();
    EXPECT_EQ(Texts(rootItem), (std::vector<std::wstring>{L"secret", L"seen"}));
    shelltree::SetShowHidden(false);
    Settle();
    EXPECT_EQ(Texts(rootItem), std::vector<std::wstring>{L"seen"});
    SetFileAttributesW((folder_ / L"secret").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A switch flipped twice while the worker is busy: the cancel and both walks wait in its queue, and
// the checks posted after the last cancel are still answered.
TEST_F(ShellTreeUi, ASwitchFlippedWhileTheWorkerIsBusyStillGetsItsAnswers) {
    MakeFolder(folder_ / L"empty");
    for (int i = 0; i < 20; ++i) {
        const std::wstring f = folder_ / (L"f" + std::to_wstring(i));
        MakeFolder(f);
        MakeFolder(f + L"\\kid");
    }
    Create();
    HTREEITEM rootItem = OpenRoot();
    // Idle in its message loop, the worker holds no lock when it is held still.
    HWND worker = FindWindowExW(HWND_MESSAGE, nullptr, L"shell_msg_class", nullptr);
    ASSERT_NE(worker, nullptr);
    win::Handle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(worker, nullptr)));
    ASSERT_TRUE(thread);
    ASSERT_NE(SuspendThread(thread.Get()), static_cast<DWORD>(-1));
    shelltree::SetShowHidden(true);
    shelltree::SetShowHidden(false);
    ResumeThread(thread.Get());
    Settle();
    EXPECT_EQ(shelltree::PendingChecks(), 0);
    ASSERT_EQ(Texts(rootItem).size(), 21u);
    for (HTREEITEM c = TreeView_GetChild(tree_, rootItem); c; c = TreeView_GetNextSibling(tree_, c)) {
        const shelltree::ItemFacts f = Facts(c);
        EXPECT_EQ(f.hasButton, f.text != L"empty") << "only folders holding a folder keep a button";
    }
}

TEST_F(ShellTreeUi, TeardownEndsTheWorkerAndEmptiesTheTree) {
    for (int i = 0; i < 40; ++i)
        MakeFolder(folder_ / (L"f" + std::to_wstring(i)));
    Create();
    HTREEITEM rootItem = Child(shelltree::RootFoldersItem(), root_);
    TreeView_Expand(tree_, rootItem, TVE_EXPAND); // forty checks queued
    shelltree::StopShellTree();
    EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"shell_msg_class", nullptr), nullptr);
    EXPECT_EQ(TreeView_GetCount(tree_), 0u);
    harness::PumpFor(100); // answers still on their way are dropped, not applied
    EXPECT_EQ(shelltree::ShellTreeWindow(), nullptr);
    // A new tree starts cleanly after the old one.
    ASSERT_TRUE(shelltree::StartShellTree());
    Create();
    EXPECT_NE(Child(shelltree::RootFoldersItem(), root_), nullptr);
}

TEST(ShellTreeRequest, ShellLocationRequestCarriesTheIdListBytes) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer)));
    auto r = shelltree::MakeShellLocationRequest(computer, std::wstring(300, L'x'), 1);
    EXPECT_EQ(r->kind, 1);
    EXPECT_EQ(r->pane, 1);
    EXPECT_EQ(r->path.size(), 260u) << "the item's text, at most 260 characters";
    ASSERT_EQ(r->idList.size(), ILGetSize(computer));
    EXPECT_TRUE(ILIsEqual(computer, reinterpret_cast<PCIDLIST_ABSOLUTE>(r->idList.data())));
    CoTaskMemFree(computer);
    CoUninitialize();
}

std::vector<uint8_t> BytesOf(PCIDLIST_ABSOLUTE pidl) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(pidl);
    return std::vector<uint8_t>(p, p + ILGetSize(pidl));
}

std::vector<uint8_t> SpecialFolder(int csidl) {
    win::IdList list;
    if (FAILED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, list.Out())))
        return {};
    return BytesOf(list.Get());
}

// A pane is asked whether it shows a tree item's location: shell folders by their lists through the
// shell, everything else by path.
TEST(ShellTreeLocation, PanesShowShellFoldersByTheirListsThroughTheShell) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::vector<uint8_t> bin = SpecialFolder(CSIDL_BITBUCKET), desktop = SpecialFolder(CSIDL_DESKTOP),
                               drives = SpecialFolder(CSIDL_DRIVES);
    ASSERT_FALSE(bin.empty());
    ASSERT_EQ(desktop.size(), 2u) << "the desktop is the empty list";

    folder::PaneLocation shown;
    shown.kind = folder::kShellFolder;
    shown.idList = bin;
    shown.path = L"Recycle Bin";
    shown.valid = 1;
    msg::LocationRequest wanted;
    wanted.kind = folder::kShellFolder;
    wanted.path = L"Recycle Bin";
    EXPECT_FALSE(shelltree::LocationShows(shown, wanted)) << "a request without its list names no folder";
    wanted.idList = bin;
    EXPECT_TRUE(shelltree::LocationShows(shown, wanted));
    wanted.idList = drives;
    EXPECT_FALSE(shelltree::LocationShows(shown, wanted));
    shown.idList = desktop;
    wanted.idList = desktop;
    EXPECT_TRUE(shelltree::LocationShows(shown, wanted)) << "the desktop";
    wanted.idList = bin;
    EXPECT_FALSE(shelltree::LocationShows(shown, wanted));

    // One folder through two lists of different bytes: the parsed one carries the file data the
    // simple one lacks.
    fixtures::TempFolder dir;
    win::IdList parsed, simple(SHSimpleIDListFromPath(dir.Path().c_str()));
    ASSERT_TRUE(SUCCEEDED(SHParseDisplayName(dir.Path().c_str(), nullptr, parsed.Out(), 0, nullptr)));
    ASSERT_TRUE(simple);
    shown.idList = BytesOf(parsed.Get());
    wanted.idList = BytesOf(simple.Get());
    ASSERT_NE(shown.idList, wanted.idList);
    EXPECT_TRUE(shelltree::LocationShows(shown, wanted));
    EXPECT_TRUE(shelltree::SameShellFolder(wanted.idList, shown.idList));

    // Bytes that are no list are never handed to the shell.
    std::vector<uint8_t> broken = bin;
    broken[1] = 0x7F; // the first item runs past the end
    EXPECT_FALSE(shelltree::SameShellFolder(broken, broken));
    EXPECT_FALSE(shelltree::SameShellFolder({1, 0, 0, 0}, {1, 0, 0, 0}));
    EXPECT_FALSE(shelltree::SameShellFolder({}, {}));
    EXPECT_FALSE(shelltree::SameShellFolder({0, 0, 7}, {0, 0, 7})) << "bytes after the end";

    // Another kind, or a location the pane has forgotten, is never shown; paths fold ASCII case.
    shown.idList = bin;
    wanted.idList = bin;
    wanted.kind = folder::kFileSystemFolder;
    EXPECT_FALSE(shelltree::LocationShows(shown, wanted));
    shown.kind = folder::kFileSystemFolder;
    shown.path = L"C:\\Photos\\Day";
    wanted.path = L"c:\\photos\\DAY";
    EXPECT_TRUE(shelltree::LocationShows(shown, wanted));
    shown.valid = 0;
    EXPECT_FALSE(shelltree::LocationShows(shown, wanted));
    CoUninitialize();
}

} // namespace
