// Confirmed assignment edits reach everything that uses the shortcuts: the live accelerator table
// the message loop translates with, the shortcut texts of the rebuilt menus, the mouse assignments,
// and the stored block the next start reads.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "tests/harness/win_harness.h"
#include "ui/main_window_win.h"
#include "ui/menus_win.h"

namespace {

std::wstring ShortcutInMenu(int popup, int command) {
    MENUITEMINFOW mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menus::PopupMenu(popup), static_cast<UINT>(command), FALSE, &mii) || !mii.dwItemData)
        return L"<missing>";
    const auto* d = reinterpret_cast<const menus::MenuItemData*>(mii.dwItemData);
    return d->modifier + d->key;
}

std::vector<ACCEL> LiveTable(const app::Program& p) {
    std::vector<ACCEL> table(64);
    const int n = p.accelerators.Get() ? CopyAcceleratorTableW(p.accelerators.Get(), table.data(), 64) : 0;
    table.resize(static_cast<size_t>(n));
    return table;
}

TEST(ShortcutApply, ConfirmedEditsActAtOnceShowInTheMenusAndSurviveARestart) {
    std::wstring language = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), language));
    app::Program p;
    p.shortcuts = shortcuts::LoadShortcuts({});
    app::BuildAccelerators(p);
    ASSERT_TRUE(ui::BuildProgramMenus(p));
    ASSERT_EQ(ShortcutInMenu(menus::kViewMenu, 5110), L"Tab");
    HMENU before = menus::PopupMenu(menus::kViewMenu);

    // The tree switch moves from Tab to Ctrl+Shift+T; Tab is free for the layout of both panes.
    shortcuts::Assignments edits{p.shortcuts.slots, p.settings.mouseCommands};
    ASSERT_EQ(shortcuts::AssignKey(edits, 8, 'T', true, true), shortcuts::EditResult::Done);
    ASSERT_EQ(shortcuts::ClearAssignment(edits, 9, false), shortcuts::EditResult::Done);
    ASSERT_EQ(shortcuts::AssignKey(edits, 9, VK_TAB, false, false), shortcuts::EditResult::Done);
    ASSERT_EQ(shortcuts::AssignMouse(edits, 16, 2), shortcuts::EditResult::Conflict) << "the middle button is taken";
    edits.mouse[2] = 0;
    ASSERT_EQ(shortcuts::AssignMouse(edits, 16, 2), shortcuts::EditResult::Done);
    ui::ApplyShortcutEdits(p, nullptr, edits, true, true);

    bool treeKey = false, tabKey = false;
    for (const ACCEL& a : LiveTable(p)) {
        treeKey |= a.cmd == 5110 && a.key == 'T' && a.fVirt == (FVIRTKEY | FCONTROL | FSHIFT);
        tabKey |= a.key == VK_TAB && a.cmd == 5123;
        EXPECT_FALSE(a.cmd == 5110 && a.key == VK_TAB) << "the old key is gone";
    }
    EXPECT_TRUE(treeKey);
    EXPECT_TRUE(tabKey);
    EXPECT_NE(menus::PopupMenu(menus::kViewMenu), before) << "the menus were built again";
    EXPECT_EQ(ShortcutInMenu(menus::kViewMenu, 5110), L"Ctrl+Shift+T");
    EXPECT_EQ(ShortcutInMenu(menus::kPanesMenu, 5123), L"Tab");
    EXPECT_EQ(p.settings.mouseCommands[2], 5161) << "the middle button stops the panes";

    // Shutdown stores the live table; the next start reads the same slots back.
    app::StoreAccelerators(p);
    const shortcuts::ShortcutTable next = shortcuts::LoadShortcuts(p.settings.accelerators);
    EXPECT_TRUE(shortcuts::SameSlots(next.slots, edits.slots));
    EXPECT_EQ(shortcuts::ShortcutText(next.slots, 5110), L"Ctrl+Shift+T");

    // Unchanged keys leave the table and the menus alone.
    HMENU now = menus::PopupMenu(menus::kViewMenu);
    ui::ApplyShortcutEdits(p, nullptr, edits, false, false);
    EXPECT_EQ(menus::PopupMenu(menus::kViewMenu), now);

    // Every key removed: no table at all, stored as such, and the next start has no shortcuts either
    // (not the defaults).
    for (int slot = 0; slot < static_cast<int>(edits.slots.size()); ++slot)
        shortcuts::ClearAssignment(edits, slot, false);
    ui::ApplyShortcutEdits(p, nullptr, edits, true, false);
    EXPECT_TRUE(LiveTable(p).empty());
    EXPECT_EQ(ShortcutInMenu(menus::kViewMenu, 5110), L"");
    app::StoreAccelerators(p);
    EXPECT_TRUE(p.settings.noShortcuts);
    EXPECT_TRUE(shortcuts::LoadShortcuts(p.settings.accelerators, p.settings.noShortcuts).live.empty());
    // One key again replaces the mark.
    ASSERT_EQ(shortcuts::AssignKey(edits, 8, 'T', true, true), shortcuts::EditResult::Done);
    ui::ApplyShortcutEdits(p, nullptr, edits, true, false);
    app::StoreAccelerators(p);
    EXPECT_FALSE(p.settings.noShortcuts);
    EXPECT_EQ(shortcuts::LoadShortcuts(p.settings.accelerators, p.settings.noShortcuts).live.size(), 1u);
    menus::DestroyMenus();
    lang::Unload();
}

} // namespace
