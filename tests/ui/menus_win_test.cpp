// The menu set built in this process with the English language module: layout, shortcut texts in the
// item data, tools and favourites, rebuilding, states, and the owner-draw path.
#include "ui/menus_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/language_win.h"
#include "common/scoped_win.h"
#include "tests/harness/win_harness.h"
#include "ui/commands.h"

namespace {

using menus::MenuItemData;

struct Item {
    int id;
    bool separator;
    HMENU sub;
    UINT state;
    const MenuItemData* data;
};

std::vector<Item> Items(HMENU menu) {
    std::vector<Item> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_SUBMENU | MIIM_DATA | MIIM_STATE;
        EXPECT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii));
        EXPECT_TRUE(mii.fType & MFT_OWNERDRAW) << "item " << i << " id " << mii.wID;
        items.push_back({static_cast<int>(mii.wID), (mii.fType & MFT_SEPARATOR) != 0, mii.hSubMenu, mii.fState,
                         reinterpret_cast<const MenuItemData*>(mii.dwItemData)});
    }
    return items;
}

const MenuItemData* DataOf(int popup, int id) {
    for (const Item& item : Items(menus::PopupMenu(popup)))
        if (item.id == id)
            return item.data;
    return nullptr;
}

std::wstring ShortcutOf(int popup, int id) {
    const MenuItemData* d = DataOf(popup, id);
    return d ? d->modifier + d->key : L"<missing>";
}

std::wstring StringOf(HMENU menu, int position) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return text;
}

bool Has(HMENU menu, int id, UINT flag) { return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & flag) != 0; }

class Menus : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::wstring name = L"English";
        ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    }
    static void TearDownTestSuite() { lang::Unload(); }
    void SetUp() override { sources_ = {&slots_, &tools_, &favourites_}; }
    void TearDown() override { menus::DestroyMenus(); }
    void Build() { ASSERT_TRUE(menus::BuildMenus(sources_)); }

    shortcuts::SlotTable slots_ = shortcuts::DefaultSlots();
    std::array<settings::ExternalTool, 8> tools_;
    std::vector<settings::Favourite> favourites_;
    menus::MenuSources sources_;
};

TEST_F(Menus, PopupsAndContainerHoldTheirItemsInOrder) {
    Build();
    const std::vector<std::vector<int>> layouts = {// 0: separator
        {5011, 0, 5020, 5030, 0, 5040, 0, 5070, 0, 5050, 5055, 0, 5060},
        {5110, 0, 5120, 5180, 0, 5130, 5140, 0, 5160, 5161, 5162, 0, 5170},
        {5210, 5212, 5213, 5211, 0, 5229, 0, 5240, 5250},
        {5310, 5320, 0, 5330},
        {5123, 0, 5121, 5122},
        {5230, 0, 5239},
        {5402, 5403, 5404, 5406, 5408, 0, 5412, 5420},
        {5210, 5212, 5211, 0, 5229, 0, 5011, 0, 5020, 5030, 0, 5040},
        {5500, 5501, 0, 5510, 5511, 0, 5520, 5521, 5522, 0, 5535, 5540, 0, 5550, 5560, 5561, 0, 5570, 5530},
        {5600},
        {5801, 5802, 0, 5803, 5804, 0, 5805, 5806},
        {5701, 0, 5702, 5703, 5704, 5705, 5706},
        {},
    };
    ASSERT_EQ(layouts.size(), static_cast<size_t>(menus::kPopupCount));
    for (int p = 0; p < menus::kPopupCount; ++p) {
        HMENU menu = menus::PopupMenu(p);
        ASSERT_NE(menu, nullptr) << p;
        EXPECT_EQ(menus::PopupIndexOf(menu), p);
        const std::vector<Item> items = Items(menu);
        const std::vector<int>& ids = layouts[static_cast<size_t>(p)];
        ASSERT_EQ(items.size(), ids.size()) << "popup " << p;
        for (size_t i = 0; i < items.size(); ++i) {
            const int id = ids[i] ? ids[i] : cmd::kSeparator;
            EXPECT_EQ(items[i].id, id) << "popup " << p << " item " << i;
            EXPECT_EQ(items[i].separator, ids[i] == 0) << "popup " << p << " item " << i;
            ASSERT_NE(items[i].data, nullptr);
            EXPECT_EQ(items[i].data->command, id);
            HMENU sub = id == cmd::kPanesMenu   ? menus::PopupMenu(menus::kPanesMenu)
                        : id == cmd::kToolsMenu ? menus::PopupMenu(menus::kExternalToolsMenu)
                                                : nullptr;
            EXPECT_EQ(items[i].sub, sub) << "popup " << p << " item " << i;
        }
    }
    // Caption = string id + string id + 10000.
    EXPECT_EQ(StringOf(menus::PopupMenu(menus::kFileMenu), 0), L"Edit &comment...");
    EXPECT_EQ(StringOf(menus::PopupMenu(menus::kFileMenu), 12), L"E&xit");
    HMENU container = menus::ContainerMenu();
    const int linked[] = {0, 1, 2, 3, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(GetMenuItemCount(container), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(GetSubMenu(container, i), menus::PopupMenu(linked[i])) << i;
    EXPECT_EQ(menus::PopupIndexOf(container), -1);
    EXPECT_EQ(menus::PopupMenu(menus::kPopupCount), nullptr);
}

TEST_F(Menus, ItemDataCarriesTheShortcutTexts) {
    slots_[15].key = 96; // reload on numeric-pad zero
    slots_[17] = {5162, shortcuts::kVirtKey | shortcuts::kCtrl | shortcuts::kShift, 123};
    slots_[7].key = 0xE9; // a key without a name shows as none
    Build();
    const struct {
        int popup, id;
        const wchar_t* text;
    } cases[] = {
        {0, 5020, L"Delete"}, {0, 5040, L"Ctrl+A"}, {0, 5011, L""}, {0, 5060, L""}, {1, 5160, L"[Num] 0 "},
        {1, 5162, L"Ctrl+Shift+F12"}, {1, 5120, L""}, {4, 5121, L"D"}, {7, 5212, L"Enter"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortcutOf(c.popup, c.id), c.text) << c.id;
    EXPECT_EQ(DataOf(0, 5040)->modifier, L"Ctrl+");
    EXPECT_EQ(DataOf(0, 5040)->key, L"A");
    sources_.slots = nullptr;
    Build();
    EXPECT_EQ(ShortcutOf(0, 5040), L"");
}

TEST_F(Menus, ToolsAndFavouritesAreListed) {
    Build();
    HMENU tools = menus::PopupMenu(menus::kExternalToolsMenu);
    EXPECT_EQ(StringOf(tools, 0), lang::Text(5230));
    EXPECT_TRUE(Has(tools, 5230, MF_GRAYED));

    tools_[0] = {L"C:\\Tools\\edit.exe", L"Editor", L""};
    tools_[1] = {L"", L"Named but no path", L""};
    tools_[2] = {L"C:\\Tools\\resize.exe", L"", L""};
    tools_[7] = {L"C:\\Tools\\b.exe", L"Black & white", L""};
    const location::LocationKind folder = location::kFileSystemFolder;
    favourites_ = {{folder, {}, L"C:\\Pictures\\Holiday"},
                   {location::kShellFolder, {}, L"::{645FF040}\\Recycle Bin"},
                   {folder, {}, L"D:\\"},
                   {folder, {}, L"\\\\server\\share\\"},
                   {folder, {}, L"C:\\Tom & Jerry"}};
    Build();
    tools = menus::PopupMenu(menus::kExternalToolsMenu);
    const std::vector<Item> items = Items(tools);
    const int ids[] = {5231, 5233, 5238, cmd::kSeparator, 5239};
    ASSERT_EQ(items.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(items[i].id, ids[i]) << i;
    EXPECT_EQ(StringOf(tools, 0), L"Editor");
    EXPECT_EQ(StringOf(tools, 1), L"resize.exe");
    EXPECT_EQ(StringOf(tools, 2), L"Black && white");
    EXPECT_EQ(ShortcutOf(menus::kExternalToolsMenu, 5233), L"3");

    HMENU favourites = menus::PopupMenu(menus::kFavouritesMenu);
    const wchar_t* labels[] = {L"Holiday", L"::{645FF040}\\Recycle Bin", L"D:", L"share", L"Tom && Jerry"};
    ASSERT_EQ(GetMenuItemCount(favourites), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<int>(GetMenuItemID(favourites, i)), 5810 + i);
        EXPECT_EQ(StringOf(favourites, i), labels[i]) << i;
    }
    favourites_.assign(settings::kMaxFavourites + 3, {location::kFileSystemFolder, {}, L"C:\\x"});
    Build();
    EXPECT_EQ(GetMenuItemCount(menus::PopupMenu(menus::kFavouritesMenu)), static_cast<int>(settings::kMaxFavourites));
}

TEST_F(Menus, RebuildFreesTheOldSetAndMakesANewOne) {
    Build();
    std::vector<HMENU> before;
    std::vector<int> counts;
    for (int i = 0; i < menus::kPopupCount; ++i) {
        before.push_back(menus::PopupMenu(i));
        counts.push_back(GetMenuItemCount(menus::PopupMenu(i)));
    }
    before.push_back(menus::ContainerMenu());
    const size_t records = menus::ItemRecordCount();
    for (int round = 0; round < 3; ++round)
        Build();
    EXPECT_EQ(menus::ItemRecordCount(), records);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_FALSE(IsMenu(before[i])) << i;
    for (int i = 0; i < menus::kPopupCount; ++i)
        EXPECT_EQ(GetMenuItemCount(menus::PopupMenu(i)), counts[static_cast<size_t>(i)]) << i;
    // The shared tools sub-menu is linked from both of its new parents.
    EXPECT_EQ(GetSubMenu(menus::PopupMenu(menus::kPaneContextMenu), 4), menus::PopupMenu(menus::kExternalToolsMenu));
    EXPECT_EQ(GetSubMenu(menus::PopupMenu(menus::kToolsMenu), 5), menus::PopupMenu(menus::kExternalToolsMenu));
    menus::DestroyMenus();
    EXPECT_EQ(menus::ItemRecordCount(), 0u);
    EXPECT_EQ(menus::PopupMenu(0), nullptr);
}

TEST_F(Menus, ApplyStatesSetsEnabledAndChecked) {
    Build();
    HMENU file = menus::PopupMenu(menus::kFileMenu);
    menus::MenuFacts f;
    f.fileSystemFolder = true;
    f.itemCount = f.selectedCount = 4;
    menus::ApplyStates(file, f);
    EXPECT_TRUE(Has(file, 5040, MF_CHECKED));
    EXPECT_FALSE(Has(file, 5040, MF_GRAYED));
    EXPECT_TRUE(Has(file, 5055, MF_GRAYED));
    f.paneBusy = true;
    f.selectedCount = 1;
    menus::ApplyStates(file, f);
    EXPECT_FALSE(Has(file, 5040, MF_CHECKED));
    EXPECT_TRUE(Has(file, 5040, MF_GRAYED));
    EXPECT_FALSE(Has(file, 5055, MF_GRAYED));
    HMENU panes = menus::PopupMenu(menus::kPanesMenu);
    f.paneLayout = 1;
    menus::ApplyStates(panes, f);
    EXPECT_TRUE(Has(panes, 5122, MF_CHECKED));
    EXPECT_FALSE(Has(panes, 5123, MF_CHECKED));
    // The tree's menu keeps the states its owner set.
    HMENU tree = menus::PopupMenu(menus::kTreeContextMenu);
    EnableMenuItem(tree, 5500, MF_BYCOMMAND | MF_GRAYED);
    menus::ApplyStates(tree, f);
    EXPECT_TRUE(Has(tree, 5500, MF_GRAYED));
}

TEST_F(Menus, OwnerDrawConvertsAMenuMadeElsewhere) {
    Build();
    const size_t ours = menus::ItemRecordCount();
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 5521, L"&Rename");
    AppendMenuW(menu, MF_STRING | MF_GRAYED | MF_CHECKED, 5020, L"&Delete");
    AppendMenuW(menu, MF_SEPARATOR, 9900, nullptr);
    menus::OwnerDraw(menu, &slots_);
    const std::vector<Item> items = Items(menu); // all owner-drawn now
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(StringOf(menu, 0), L"&Rename");
    EXPECT_FALSE(items[0].state & (MF_GRAYED | MF_CHECKED));
    EXPECT_TRUE((items[1].state & MF_GRAYED) && (items[1].state & MF_CHECKED));
    EXPECT_EQ(items[1].data->key, L"Delete");
    EXPECT_TRUE(items[2].separator);
    menus::OwnerDraw(menu, &slots_); // converted items are left alone
    EXPECT_EQ(menus::ItemRecordCount(), ours + 3);
    DestroyMenu(menu); // its records go at the next call
    menus::OwnerDraw(nullptr, &slots_);
    EXPECT_EQ(menus::ItemRecordCount(), ours);
}

UINT WidthOf(int popup, int id) {
    MEASUREITEMSTRUCT mis = {};
    mis.CtlType = ODT_MENU;
    mis.itemData = reinterpret_cast<ULONG_PTR>(DataOf(popup, id));
    EXPECT_TRUE(menus::MeasureMenuItem(&mis));
    EXPECT_GE(mis.itemHeight, 20u); // the minimum item height set below
    return mis.itemWidth;
}

TEST_F(Menus, WidthGrowsWithTheShortcutText) {
    menus::SetMenuMetrics(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), 20, 20);
    const uint16_t keys[][2] = {{shortcuts::kVirtKey, 0}, {shortcuts::kVirtKey | shortcuts::kCtrl, 'A'},
                                {shortcuts::kVirtKey | shortcuts::kCtrl | shortcuts::kShift, 'A'}};
    UINT last = 0;
    for (const auto& k : keys) {
        slots_[3] = {5040, static_cast<uint8_t>(k[0]), k[1]};
        Build();
        const UINT width = WidthOf(menus::kFileMenu, 5040);
        EXPECT_GT(width, last) << k[1];
        last = width;
    }
    // "[Num] 0 " is measured with its trailing blank.
    slots_[3] = {5040, shortcuts::kVirtKey, 96};
    Build();
    const UINT padZero = WidthOf(menus::kFileMenu, 5040);
    slots_[3].key = 97;
    Build();
    EXPECT_GT(padZero, WidthOf(menus::kFileMenu, 5040));
    MEASUREITEMSTRUCT mis = {};
    mis.CtlType = ODT_MENU;
    static MenuItemData stranger;
    for (ULONG_PTR data : {reinterpret_cast<ULONG_PTR>(&stranger), ULONG_PTR{0}}) {
        mis.itemData = data;
        EXPECT_FALSE(menus::MeasureMenuItem(&mis));
    }
    menus::SetMenuMetrics(nullptr, 0, 0);
}

// A real popup: the menu loop measures and draws every item through us. The timer first moves the
// highlight, then captures the menu and ends the loop.
struct TrackHost {
    int measured = 0, drawn = 0, ticks = 0;
    bool captured = false;
} g_host;

LRESULT CALLBACK TrackProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_MEASUREITEM: g_host.measured += menus::MeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lp)); return TRUE;
    case WM_DRAWITEM: g_host.drawn += menus::DrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp)); return TRUE;
    case WM_TIMER: {
        // Only this thread's popup: tests running beside this one open menus of their own.
        HWND popup = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND h, LPARAM found) -> BOOL {
                if (harness::WindowClassName(h) != L"#32768" || !IsWindowVisible(h))
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = h;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&popup));
        ++g_host.ticks;
        if (popup && g_host.ticks == 2) {
            for (int i = 0; i < 6; ++i)
                PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
        } else if (popup && g_host.ticks > 2) {
            g_host.captured = !harness::SaveNamedScreenshot(L"menu_file", popup).empty();
            EndMenu();
        } else if (g_host.ticks > 50) {
            EndMenu();
        }
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wp, lp);
}

TEST_F(Menus, TrackedMenuIsMeasuredAndDrawnByUs) {
    Build();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TrackProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Quorle_menu_test_class";
    ASSERT_TRUE(RegisterClassExW(&wc));
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"menus", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 500, 400,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    menus::MenuFacts f;
    f.itemCount = f.selectedCount = 3;
    menus::ApplyStates(menus::PopupMenu(menus::kFileMenu), f);
    // Another program taking the foreground cancels a menu loop, as it should: such a loop, ended
    // before the capture, is opened again (a few times at most).
    for (int attempt = 0; attempt < 3 && !g_host.captured; ++attempt) {
        g_host.ticks = 0;
        SetForegroundWindow(hwnd);
        SetTimer(hwnd, 1, 100, nullptr);
        TrackPopupMenu(menus::PopupMenu(menus::kFileMenu), TPM_LEFTALIGN | TPM_TOPALIGN, 60, 80, 0, hwnd, nullptr);
        KillTimer(hwnd, 1);
    }
    EXPECT_GE(g_host.measured, 13); // every item, separators included
    EXPECT_GE(g_host.drawn, 13);
    EXPECT_TRUE(g_host.captured);
    DestroyWindow(hwnd);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

} // namespace
