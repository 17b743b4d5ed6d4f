// The options dialog in the real program, driven from outside: every page shown (and kept as a
// screenshot), a shortcut changed through the assignment dialog that acts at once, shows in the
// menus and survives a restart, and the cell border and scaling method applied reloading both panes.
#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>

#include "app/commands.h"
#include "app/shortcut_table.h"

namespace {

using e2e::ChildById;
using e2e::kMainClass;
using e2e::QuorleCopy;

constexpr int kTree = 1001, kApply = 1002, kAssign = 1122, kBorder = 1261, kScaling = 1232;
constexpr int kRows = 1550, kKeyList = 1520, kCtrlBox = 1540, kShiftBox = 1541, kAssignKey = 1530, kCloseKeys = 1533;
constexpr int kTreeSwitchSlot = 8; // command 5110, Tab by default

HWND WaitDialog(DWORD pid, int withId) {
    HWND found = nullptr;
    harness::PumpUntil([&] { return (found = harness::FindShownDialog(0, pid, withId)) != nullptr; }, 15000);
    return found;
}

// Opens the options dialog from the menu command; a command lost under a loaded Wine is sent again.
HWND OpenOptions(HWND main, DWORD pid) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        PostMessageW(main, WM_COMMAND, cmd::kOptions, 0);
        HWND frame = nullptr;
        if (harness::PumpUntil([&] { return (frame = harness::FindShownDialog(0, pid, kTree)) != nullptr; }, 10000))
            return frame;
    }
    return nullptr;
}

// The tree items in page order: page 2 is the child of page 1.
std::vector<HTREEITEM> PageItems(HWND tree) {
    auto next = [&](HTREEITEM item, WPARAM how) {
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
    };
    std::vector<HTREEITEM> items;
    HTREEITEM root = next(nullptr, TVGN_ROOT);
    HTREEITEM pictures = next(root, TVGN_NEXT);
    items = {root, pictures, next(pictures, TVGN_CHILD)};
    for (HTREEITEM item = next(pictures, TVGN_NEXT); item; item = next(item, TVGN_NEXT))
        items.push_back(item);
    return items;
}

// The page dialog that holds control `id`, once it is the one shown.
HWND ShownPage(HWND frame, int id) {
    HWND page = nullptr;
    harness::PumpUntil(
        [&] {
            HWND control = ChildById(frame, id);
            page = control ? GetParent(control) : nullptr;
            return page && IsWindowVisible(page);
        },
        5000);
    return page;
}

void SelectPage(HWND frame, int index) {
    const std::vector<HTREEITEM> items = PageItems(GetDlgItem(frame, kTree));
    ASSERT_GT(items.size(), static_cast<size_t>(index));
    SendMessageW(GetDlgItem(frame, kTree), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(items[index]));
}

void Command(HWND dialog, int id, int code = BN_CLICKED) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Key(HWND hwnd, WPARAM key) {
    PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

// K to the tree switch through the assignment dialog (button 1122 of page 0).
void AssignTreeSwitch(HWND frame, DWORD pid) {
    SelectPage(frame, 0);
    HWND page = ShownPage(frame, kAssign);
    ASSERT_NE(page, nullptr);
    Command(page, kAssign);
    HWND keys = WaitDialog(pid, kRows);
    ASSERT_NE(keys, nullptr) << "the assignment dialog opened";
    LVITEMW row = {};
    row.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    row.state = LVIS_SELECTED | LVIS_FOCUSED;
    ASSERT_TRUE(e2e::RemoteSend(GetDlgItem(keys, kRows), LVM_SETITEMSTATE, kTreeSwitchSlot, &row, sizeof row));
    const auto& order = shortcuts::KeyListOrder();
    const auto at = std::find(order.begin(), order.end(), static_cast<uint8_t>('K'));
    ASSERT_NE(at, order.end());
    SendMessageW(GetDlgItem(keys, kCtrlBox), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(GetDlgItem(keys, kShiftBox), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(GetDlgItem(keys, kKeyList), LB_SETCURSEL, static_cast<WPARAM>(at - order.begin()), 0);
    Command(keys, kKeyList, LBN_SELCHANGE);
    Command(keys, kAssignKey);
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_assignment_dialog", keys).empty());
    Command(keys, kCloseKeys);
    EXPECT_TRUE(harness::PumpUntil([&] { return !IsWindow(keys); }, 10000));
}

// The key posted to the pane's grid, as the message loop's accelerators see it; a key lost under a
// loaded Wine is sent again.
bool KeyHidesTheTree(HWND main) {
    HWND tree = ChildById(main, 400), grid = ChildById(main, 502);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Key(grid, 'K');
        if (harness::PumpUntil([&] { return !IsWindowVisible(tree); }, 3000))
            return true;
    }
    return false;
}

class OptionsE2e : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(harness::WaitWindowGone(kMainClass, 5000)) << "another Quorle is running"; }

    HWND StartOnPhotos(QuorleCopy& copy, harness::Process& quorle, int photos) {
        if (photos_.empty())
            photos_ = e2e::WritePhotos(root_, L"Option photos", photos);
        HWND main = copy.Start(quorle, L"\"" + photos_ + L"\"");
        if (!main)
            return nullptr;
        status_ = nullptr;
        EXPECT_TRUE(harness::PumpUntil([&] { return (status_ = GetDlgItem(ChildById(main, 500), 503)) != nullptr; }, 10000));
        const std::wstring all = L"0/" + std::to_wstring(photos);
        EXPECT_TRUE(harness::PumpUntil([&] { return e2e::RemoteStatusText(status_, 4) == all; }, 60000));
        return main;
    }

    fixtures::TempFolder root_;
    std::wstring photos_;
    HWND status_ = nullptr;
};

settings::Settings WindowSettings() {
    settings::Settings s;
    s.windowLeft = 40;
    s.windowTop = 30;
    s.windowWidth = 1100;
    s.windowHeight = 700;
    return s;
}

TEST_F(OptionsE2e, EveryPageAndAShortcutChangedThroughTheAssignmentDialog) {
    QuorleCopy copy;
    ASSERT_TRUE(copy.WriteSettings(WindowSettings()));
    harness::Process quorle;
    HWND main = StartOnPhotos(copy, quorle, 3);
    ASSERT_NE(main, nullptr);
    HWND frame = OpenOptions(main, quorle.Id());
    ASSERT_NE(frame, nullptr) << "the options dialog opened from its command";
    const int pageControls[6] = {kAssign, 1186, kBorder, 1360, 1421, 1431};
    for (int i = 0; i < 6; ++i) {
        SelectPage(frame, i);
        ASSERT_NE(ShownPage(frame, pageControls[i]), nullptr) << "page " << i;
        harness::PumpFor(400);
        EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_page_" + std::to_wstring(i), frame).empty());
    }
    // The choosers of other parts open from their buttons: the Exif items and the cache maintenance.
    const int openers[2][3] = {{1, 1191, 2601}, {2, 1243, 1630}};
    for (const auto& opener : openers) {
        SelectPage(frame, opener[0]);
        HWND page = ShownPage(frame, opener[1]);
        ASSERT_NE(page, nullptr);
        Command(page, opener[1]);
        HWND chooser = WaitDialog(quorle.Id(), opener[2]);
        ASSERT_NE(chooser, nullptr) << "button " << opener[1];
        harness::PumpFor(300);
        EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_opens_" + std::to_wstring(opener[1]), chooser).empty());
        PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(harness::PumpUntil([&] { return !IsWindow(chooser); }, 10000));
    }
    AssignTreeSwitch(frame, quorle.Id());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(frame, kApply))) << "an assignment enables Apply";
    Command(frame, IDOK);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(frame); }, 10000));

    // At once: the new key acts, and the View menu shows it.
    EXPECT_TRUE(KeyHidesTheTree(main)) << "K hides the tree";
    const std::vector<std::wstring> tips = e2e::RemoteToolTexts(e2e::ToolTipOf(main));
    EXPECT_TRUE(std::any_of(tips.begin(), tips.end(), [](const std::wstring& t) {
        return t.find(L"(K)") != std::wstring::npos;
    })) << "the toolbar's tooltip names the new key";
    PostMessageW(main, WM_SYSCOMMAND, SC_KEYMENU, 'v');
    harness::PumpFor(1000);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_shortcut_in_view_menu").empty());
    Key(main, VK_ESCAPE);
    harness::PumpFor(300);
    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);

    // After a restart the key still acts.
    const settings::Settings saved = copy.ReadSettings();
    const shortcuts::ShortcutTable table = shortcuts::LoadShortcuts(saved.accelerators);
    EXPECT_EQ(shortcuts::ShortcutText(table.slots, 5110), L"K");
    settings::Settings again = saved;
    again.treeHidden = false;
    ASSERT_TRUE(copy.WriteSettings(again));
    harness::Process second;
    main = StartOnPhotos(copy, second, 3);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(KeyHidesTheTree(main)) << "the key survives a restart";
    EXPECT_EQ(QuorleCopy::Close(second, main), 0u);
}

TEST_F(OptionsE2e, TheCellBorderAndScalingMethodAppliedReloadBothPanes) {
    QuorleCopy copy;
    settings::Settings s = WindowSettings();
    s.scalingMethod = 3;
    ASSERT_TRUE(copy.WriteSettings(s));
    harness::Process quorle;
    HWND main = StartOnPhotos(copy, quorle, 4);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_before_border", main).empty());
    // A photograph removed behind the pane's back shows whether the pane was loaded again.
    ASSERT_TRUE(DeleteFileW((photos_ + L"\\photo4.jpg").c_str()));

    HWND frame = OpenOptions(main, quorle.Id());
    ASSERT_NE(frame, nullptr);
    SelectPage(frame, 2);
    HWND page = ShownPage(frame, kBorder);
    ASSERT_NE(page, nullptr);
    SendMessageW(GetDlgItem(page, kBorder), BM_SETCHECK, BST_UNCHECKED, 0);
    Command(page, kBorder);
    SendMessageW(GetDlgItem(page, kScaling), CB_SETCURSEL, 2, 0);
    Command(page, kScaling, CBN_SELCHANGE);
    harness::PumpFor(300);
    Command(frame, kApply);
    harness::PumpFor(500);
    EXPECT_EQ(e2e::RemoteStatusText(status_, 4), L"0/4") << "Apply alone does not reload";
    Command(frame, IDOK);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(frame); }, 10000));
    EXPECT_TRUE(harness::PumpUntil([&] { return e2e::RemoteStatusText(status_, 4) == L"0/3"; }, 60000))
        << "the panes were loaded again: " << e2e::RemoteStatusText(status_, 4);
    harness::PumpFor(500);
    EXPECT_FALSE(harness::SaveNamedScreenshot(L"options_after_border", main).empty());

    // Other options alone change no cells: the panes are not loaded again.
    ASSERT_TRUE(DeleteFileW((photos_ + L"\\photo3.bmp").c_str()));
    frame = OpenOptions(main, quorle.Id());
    ASSERT_NE(frame, nullptr);
    SelectPage(frame, 1);
    page = ShownPage(frame, 1182);
    ASSERT_NE(page, nullptr);
    SendMessageW(GetDlgItem(page, 1182), BM_SETCHECK, BST_UNCHECKED, 0);
    Command(page, 1182);
    Command(frame, IDOK);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(frame); }, 10000));
    harness::PumpFor(1500);
    EXPECT_EQ(e2e::RemoteStatusText(status_, 4), L"0/3");

    EXPECT_EQ(QuorleCopy::Close(quorle, main), 0u);
    const settings::Settings saved = copy.ReadSettings();
    EXPECT_FALSE(saved.thumbBorder);
    EXPECT_EQ(saved.scalingMethod, 2);
    EXPECT_FALSE(saved.pngFlatten);
}

} // namespace
