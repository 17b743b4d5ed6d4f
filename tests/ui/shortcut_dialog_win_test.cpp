// The assignment dialog from English.dll, run modally over a test window and driven from timers that
// fire inside its message loop (and inside the loops of the message boxes it opens).
#include "ui/shortcut_dialog_win.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>

#include "app/language_win.h"
#include "tests/harness/win_harness.h"

using namespace shortcuts;

namespace {

constexpr int kKeyList = 1520, kMouseList = 1521, kAssign = 1530, kClear = 1531, kDefaults = 1532, kClose = 1533;
constexpr int kCtrlBox = 1540, kShiftBox = 1541, kRows = 1550, kKeyboardRadio = 1560, kMouseRadio = 1561;
constexpr int kMessageBoxText = 0xFFFF;
const wchar_t kHostClass[] = L"Quorle_shortcut_test_class";

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwned(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<OwnedSearch*>(lp);
    if (GetWindow(hwnd, GW_OWNER) == s->owner && harness::WindowClassName(hwnd) == L"#32770") {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND OwnedDialog(HWND owner) {
    OwnedSearch s = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// The script of one dialog run: it starts once the dialog exists; the dialog is closed afterwards
// even when the script stopped early on a failed assertion.
struct Script {
    HWND owner;
    std::function<void(HWND)> body;
    int tries = 0;
    bool ran = false;
};
Script* g_script = nullptr;

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND dlg = OwnedDialog(g_script->owner);
    // The modal loop shows the dialog once its queue first runs empty.
    if ((!dlg || !IsWindowVisible(dlg)) && ++g_script->tries < 100)
        return;
    KillTimer(nullptr, id);
    if (!dlg)
        return;
    g_script->ran = true;
    g_script->body(dlg);
    PostMessageW(dlg, WM_COMMAND, kClose, 0);
}

DialogOutcome RunScripted(HWND owner, Assignments& a, bool mouseMode, const std::array<std::wstring, 8>& tools,
                          std::function<void(HWND)> body) {
    Script script = {owner, std::move(body)};
    g_script = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, ScriptTimer);
    const DialogOutcome outcome = RunAssignmentDialog(owner, a, mouseMode, tools);
    KillTimer(nullptr, timer);
    g_script = nullptr;
    EXPECT_TRUE(script.ran) << "the dialog did not open";
    return outcome;
}

// A message box owned by the dialog, answered from a timer inside its own loop.
struct Box {
    HWND owner = nullptr;
    int answer = IDOK;
    bool seen = false;
    std::wstring text;
    std::wstring caption;
};
Box* g_box = nullptr;

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND box = OwnedDialog(g_box->owner);
    if (!box)
        return;
    KillTimer(nullptr, id);
    g_box->seen = true;
    g_box->text = harness::WindowText(GetDlgItem(box, kMessageBoxText));
    g_box->caption = harness::WindowText(box);
    PostMessageW(box, WM_COMMAND, g_box->answer, 0);
}

void Press(HWND dlg, int button) {
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, button)));
}

// Presses `button` and returns the message box it opened, answered with `answer`.
Box PressExpectingBox(HWND dlg, int button, int answer = IDOK) {
    Box box;
    box.owner = dlg;
    box.answer = answer;
    g_box = &box;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, BoxTimer);
    Press(dlg, button);
    KillTimer(nullptr, timer);
    g_box = nullptr;
    return box;
}

void ExpectRefusal(HWND dlg, UINT message) {
    const Box box = PressExpectingBox(dlg, kAssign);
    ASSERT_TRUE(box.seen) << message;
    EXPECT_EQ(box.text, lang::Text(message));
    EXPECT_EQ(box.caption, lang::Text(20501));
}

// Rows list every slot but the unused one, in slot order.
int RowOf(int slot) { return slot < 36 ? slot : slot - 1; }

// A list that gains the focus may select its first row on its own (Wine does when the dialog's
// activation arrives late), so the tests that need no selection clear it themselves.
void ClearRowSelection(HWND dlg) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    SendDlgItemMessageW(dlg, kRows, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void SelectRow(HWND dlg, int slot) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dlg, kRows, LVM_SETITEMSTATE, RowOf(slot), reinterpret_cast<LPARAM>(&item));
}

std::wstring Cell(HWND dlg, int slot, int column) {
    wchar_t buffer[256] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendDlgItemMessageW(dlg, kRows, LVM_GETITEMTEXTW, RowOf(slot), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

std::wstring Header(HWND dlg, int column) {
    wchar_t buffer[64] = {};
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT;
    c.pszText = buffer;
    c.cchTextMax = 64;
    SendDlgItemMessageW(dlg, kRows, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
    return buffer;
}

void ChooseKey(HWND dlg, uint16_t key, bool ctrl, bool shift) {
    const auto& order = KeyListOrder();
    int index = -1;
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == key)
            index = static_cast<int>(i);
    ASSERT_GE(index, 0) << key;
    CheckDlgButton(dlg, kCtrlBox, ctrl ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, kShiftBox, shift ? BST_CHECKED : BST_UNCHECKED);
    const HWND list = GetDlgItem(dlg, kKeyList);
    SendMessageW(list, LB_SETCURSEL, index, 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(kKeyList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void ChooseAction(HWND dlg, int action) { SendDlgItemMessageW(dlg, kMouseList, LB_SETCURSEL, action, 0); }

constexpr COLORREF kGrey = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kItemColour = RGB(1, 2, 3);

// Text colour the dialog gives a cell through custom draw, for an item the list draws in kItemColour.
COLORREF CellColour(HWND dlg, int column) {
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = GetDlgItem(dlg, kRows);
    draw.nmcd.hdr.idFrom = kRows;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.clrText = kItemColour;
    EXPECT_EQ(SendMessageW(dlg, WM_NOTIFY, kRows, reinterpret_cast<LPARAM>(&draw)), CDRF_NOTIFYSUBITEMDRAW);
    // The cells before this one may have left another colour in the record.
    draw.clrText = kGrey;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    draw.iSubItem = column;
    SendMessageW(dlg, WM_NOTIFY, kRows, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText;
}

bool Visible(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != FALSE; }
bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

Assignments Defaults() {
    Assignments a;
    a.slots = DefaultSlots();
    a.mouse = {5212, 5211, 5740, 0, 0, 5714, 5715};
    return a;
}

class ShortcutDialog : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::wstring name = L"English";
        ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    }
    static void TearDownTestSuite() { lang::Unload(); }

    void SetUp() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kHostClass;
        RegisterClassExW(&wc);
        owner_ = CreateWindowExW(0, kHostClass, L"Options", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(owner_, nullptr);
        tools_[0] = L"Paint";
    }
    void TearDown() override {
        DestroyWindow(owner_);
        UnregisterClassW(kHostClass, GetModuleHandleW(nullptr));
    }

    HWND owner_ = nullptr;
    std::array<std::wstring, 8> tools_;
};

TEST_F(ShortcutDialog, KeyboardModeAssignsRefusesAndClears) {
    Assignments a = Defaults();
    const DialogOutcome outcome = RunScripted(owner_, a, false, tools_, [](HWND dlg) {
        EXPECT_EQ(SendDlgItemMessageW(dlg, kRows, LVM_GETITEMCOUNT, 0, 0), 52);
        EXPECT_EQ(Header(dlg, 0), lang::Text(20500));
        EXPECT_EQ(Header(dlg, 1), lang::Text(1560));
        EXPECT_EQ(Header(dlg, 2), lang::Text(1561));
        EXPECT_EQ(Cell(dlg, 3, 0), L"File - Select all");
        EXPECT_EQ(Cell(dlg, 3, 1), L"Ctrl+A");
        EXPECT_EQ(Cell(dlg, 9, 0), L"View - Panes - Both panes");
        EXPECT_EQ(Cell(dlg, 20, 2), lang::Text(20900));
        EXPECT_EQ(Cell(dlg, 23, 0), L"Tools - Paint");
        EXPECT_EQ(Cell(dlg, 24, 0), L"Tools - External tools 2");
        EXPECT_EQ(Cell(dlg, 37, 0), L"Fit thumbnails across the pane - 2 across");
        EXPECT_EQ(Cell(dlg, 52, 0), L"Switch the tree tab");
        EXPECT_EQ(Cell(dlg, 52, 1), L"CapsLock");
        EXPECT_EQ(SendDlgItemMessageW(dlg, kKeyList, LB_GETCOUNT, 0, 0), 91);
        EXPECT_TRUE(Checked(dlg, kKeyboardRadio));
        EXPECT_TRUE(Visible(dlg, kKeyList));
        EXPECT_FALSE(Visible(dlg, kMouseList));
        EXPECT_TRUE(Enabled(dlg, kCtrlBox));
        EXPECT_EQ(CellColour(dlg, 2), kGrey);
        EXPECT_EQ(CellColour(dlg, 1), kItemColour);
        EXPECT_EQ(CellColour(dlg, 0), kItemColour);
        harness::PumpFor(300);
        harness::SaveNamedScreenshot(L"shortcut_dialog", dlg);

        ClearRowSelection(dlg);
        ExpectRefusal(dlg, 20504);
        SelectRow(dlg, 0);
        ExpectRefusal(dlg, 20503);
        ChooseKey(dlg, 'A', true, false);
        ExpectRefusal(dlg, 20502);
        EXPECT_EQ(Cell(dlg, 0, 1), L"");
        EXPECT_EQ(Cell(dlg, 3, 1), L"Ctrl+A");

        ChooseKey(dlg, 'Q', true, true);
        Press(dlg, kAssign);
        EXPECT_EQ(Cell(dlg, 0, 1), L"Ctrl+Shift+Q");

        // CapsLock takes no Shift; the box comes back for other keys.
        ChooseKey(dlg, 240, false, true);
        EXPECT_FALSE(Enabled(dlg, kShiftBox));
        EXPECT_FALSE(Checked(dlg, kShiftBox));
        ChooseKey(dlg, 'B', false, false);
        EXPECT_TRUE(Enabled(dlg, kShiftBox));

        SelectRow(dlg, 1);
        Press(dlg, kClear);
        EXPECT_EQ(Cell(dlg, 1, 1), L"");
        EXPECT_EQ(Cell(dlg, 1, 0), L"File - Delete");
    });
    EXPECT_TRUE(outcome.keysChanged);
    EXPECT_FALSE(outcome.mouseChanged);
    EXPECT_FALSE(outcome.mouseMode);
    EXPECT_EQ(a.slots[0].key, 'Q');
    EXPECT_EQ(a.slots[0].flags, kVirtKey | kCtrl | kShift);
    EXPECT_EQ(a.slots[1].key, 0);
    EXPECT_EQ(a.slots[3].key, 'A');
}

TEST_F(ShortcutDialog, MouseModeMovesActionsAndGreysTheKeyColumn) {
    Assignments a = Defaults();
    const DialogOutcome outcome = RunScripted(owner_, a, true, tools_, [](HWND dlg) {
        EXPECT_TRUE(Checked(dlg, kMouseRadio));
        EXPECT_TRUE(Visible(dlg, kMouseList));
        EXPECT_FALSE(Visible(dlg, kKeyList));
        EXPECT_EQ(SendDlgItemMessageW(dlg, kMouseList, LB_GETCOUNT, 0, 0), 15);
        EXPECT_FALSE(Enabled(dlg, kCtrlBox));
        EXPECT_FALSE(Enabled(dlg, kShiftBox));
        EXPECT_EQ(CellColour(dlg, 1), kGrey);
        EXPECT_EQ(CellColour(dlg, 2), kItemColour);

        SelectRow(dlg, 4);
        ExpectRefusal(dlg, 20503);
        ChooseAction(dlg, 0); // holds 5212
        ExpectRefusal(dlg, 20502);
        ChooseAction(dlg, 3);
        Press(dlg, kAssign);
        EXPECT_EQ(Cell(dlg, 4, 2), lang::Text(20903));
        ChooseAction(dlg, 4);
        Press(dlg, kAssign);
        EXPECT_EQ(Cell(dlg, 4, 2), lang::Text(20904));

        SelectRow(dlg, 20);
        Press(dlg, kClear);
        EXPECT_EQ(Cell(dlg, 20, 2), L"");
        EXPECT_EQ(Cell(dlg, 20, 1), L"Enter"); // a mouse clear leaves the key

        SendDlgItemMessageW(dlg, kKeyboardRadio, BM_CLICK, 0, 0);
        EXPECT_TRUE(Checked(dlg, kKeyboardRadio));
        EXPECT_TRUE(Visible(dlg, kKeyList));
        EXPECT_FALSE(Visible(dlg, kMouseList));
        EXPECT_TRUE(Enabled(dlg, kCtrlBox));
        EXPECT_TRUE(Enabled(dlg, kShiftBox));
        EXPECT_EQ(CellColour(dlg, 2), kGrey);
        EXPECT_EQ(CellColour(dlg, 1), kItemColour);
        SendMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(outcome.keysChanged);
    EXPECT_TRUE(outcome.mouseChanged);
    EXPECT_FALSE(outcome.mouseMode);
    EXPECT_EQ(a.mouse[0], 0); // cleared from the row of 5212
    EXPECT_EQ(a.mouse[3], 0);
    EXPECT_EQ(a.mouse[4], 5050);

    // Only the mode changes: it is what the dialog ends with.
    Assignments b = Defaults();
    const DialogOutcome modeOnly = RunScripted(owner_, b, false, tools_, [](HWND dlg) {
        SendDlgItemMessageW(dlg, kMouseRadio, BM_CLICK, 0, 0);
        EXPECT_FALSE(Enabled(dlg, kShiftBox));
    });
    EXPECT_FALSE(modeOnly.keysChanged);
    EXPECT_FALSE(modeOnly.mouseChanged);
    EXPECT_TRUE(modeOnly.mouseMode);
}

TEST_F(ShortcutDialog, DefaultsAskFirstAndRestoreOnlyTheCurrentMode) {
    Assignments a = Defaults();
    ASSERT_EQ(AssignKey(a, 0, 'Q', false, false), EditResult::Done);
    ASSERT_EQ(ClearAssignment(a, 20, true), EditResult::Done);
    const DialogOutcome outcome = RunScripted(owner_, a, false, tools_, [](HWND dlg) {
        Box box = PressExpectingBox(dlg, kDefaults, IDNO);
        ASSERT_TRUE(box.seen);
        EXPECT_EQ(box.text, lang::Text(20505));
        EXPECT_EQ(box.caption, lang::Text(1532));
        EXPECT_EQ(Cell(dlg, 0, 1), L"Q");

        box = PressExpectingBox(dlg, kDefaults, IDYES);
        ASSERT_TRUE(box.seen);
        EXPECT_EQ(Cell(dlg, 0, 1), L"");
        EXPECT_EQ(Cell(dlg, 1, 1), L"Delete");
        EXPECT_EQ(Cell(dlg, 20, 2), L"");
    });
    EXPECT_TRUE(outcome.keysChanged);
    EXPECT_FALSE(outcome.mouseChanged);
    EXPECT_TRUE(SameSlots(a.slots, DefaultSlots()));
    EXPECT_EQ(a.mouse[0], 0);
}

} // namespace
