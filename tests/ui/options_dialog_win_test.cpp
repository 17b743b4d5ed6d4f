// The options dialog from English.dll, run modally without a main window and driven from timers
// that fire inside its message loop (and inside the loops of the choosers it opens).
#include "ui/options_dialog_win.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>

#include "app/language_win.h"
#include "app/program_state_win.h"
#include "common/path.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"

namespace {

constexpr int kTree = 1001, kApply = 1002;
constexpr int kThreshold = 1132, kGamma = 1186, kPngFlatten = 1182, kPaneColour = 1264, kBorder = 1261;
constexpr int kQuality = 1245, kDefaultCache = 1251, kCacheFolder = 1252, kScaling = 1232;
constexpr int kToolName = 1320, kToolPath = 1360, kToolChoose = 1340;
constexpr int kPluginFolder = 1411, kPluginList = 1421;
// The colour chooser's red edit and the file dialog's name box.
constexpr int kChooserRed = 706, kFileNameBox = 1148;

HWND Find(HWND frame, int id) {
    for (const harness::ChildInfo& c : harness::Children(frame))
        if (c.id == id && c.className != L"#32770")
            return c.hwnd;
    return nullptr;
}

// The page dialog holding control `id`.
HWND PageWith(HWND frame, int id) { return GetParent(Find(frame, id)); }

void Press(HWND frame, int id) {
    HWND button = Find(frame, id);
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// A check box clicked: its state turns and its parent is told, as a click on a page not shown would.
void Click(HWND frame, int id) {
    HWND box = Find(frame, id);
    const bool on = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    SendMessageW(box, BM_SETCHECK, on ? BST_UNCHECKED : BST_CHECKED, 0);
    Press(frame, id);
}

void Type(HWND frame, int id, const std::wstring& text) { SetWindowTextW(Find(frame, id), text.c_str()); }

void LeaveField(HWND frame, int id) {
    HWND edit = Find(frame, id);
    SendMessageW(GetParent(edit), WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
}

std::wstring TextOf(HWND frame, int id) { return harness::WindowText(Find(frame, id)); }

bool Enabled(HWND frame, int id) { return IsWindowEnabled(Find(frame, id)) != FALSE; }

struct OwnedSearch {
    HWND except;
    HWND found;
};
// A dialog of this thread other than `except` (the options frame) and its pages.
HWND OtherDialog(HWND except) {
    OwnedSearch s = {except, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* q = reinterpret_cast<OwnedSearch*>(lp);
            if (hwnd != q->except && IsWindowVisible(hwnd) && harness::WindowClassName(hwnd) == L"#32770") {
                q->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// One nested modal dialog answered from a timer inside its own loop.
struct Nested {
    HWND frame = nullptr;
    std::function<void(HWND)> answer;
    int tries = 0;
    bool seen = false;
};
Nested* g_nested = nullptr;

void CALLBACK NestedTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND dlg = OtherDialog(g_nested->frame);
    if (!dlg && ++g_nested->tries < 300)
        return;
    KillTimer(nullptr, id);
    if (!dlg)
        return;
    g_nested->seen = true;
    g_nested->answer(dlg);
}

// Presses `id`, which opens a modal dialog, and answers that dialog with `answer`.
bool PressAnswering(HWND frame, int id, std::function<void(HWND)> answer) {
    Nested nested;
    nested.frame = frame;
    nested.answer = std::move(answer);
    g_nested = &nested;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, NestedTimer);
    Press(frame, id);
    KillTimer(nullptr, timer);
    g_nested = nullptr;
    return nested.seen;
}

struct Script {
    std::function<void(HWND)> body;
    int tries = 0;
    bool ran = false;
};
Script* g_script = nullptr;

HWND OptionsFrame() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, kTree) && GetDlgItem(hwnd, kApply)) {
                *reinterpret_cast<HWND*>(lp) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND frame = OptionsFrame();
    if (!frame && ++g_script->tries < 200)
        return;
    KillTimer(nullptr, id);
    if (!frame)
        return;
    g_script->ran = true;
    g_script->body(frame);
    // Closed here too when the body stopped early on a failed assertion.
    if (IsWindow(frame))
        PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
}

class OptionsDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::wstring language = L"English";
        ASSERT_TRUE(lang::Load(harness::OutputFolder(), language));
        p.programFolder = harness::OutputFolder();
        p.settingsPath = temp.Path() + L"\\Quorle.ini";
        p.cacheFolder = temp.Path() + L"\\cache";
        p.screenBound = 700;
        p.settings.previewSize = 500;
        p.settings.languageModule = L"English";
        p.settings.fontFace = L"Tahoma";
        p.shortcuts = shortcuts::LoadShortcuts({});
        app::SetTheProgram(&p);
    }
    void TearDown() override {
        app::SetTheProgram(nullptr);
        lang::Unload();
    }

    ui::OptionsOutcome Run(std::function<void(HWND)> body) {
        Script script = {std::move(body)};
        g_script = &script;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, ScriptTimer);
        const ui::OptionsOutcome outcome = ui::RunOptionsDialog(nullptr, p, nullptr);
        KillTimer(nullptr, timer);
        g_script = nullptr;
        EXPECT_TRUE(script.ran) << "the dialog did not open";
        return outcome;
    }

    fixtures::TempFolder temp;
    app::Program p;
};

TEST_F(OptionsDialog, OpensOnTheLastPageWithAPageTreeThatCannotCollapse) {
    p.settings.optionsPage = 2;
    const ui::OptionsOutcome outcome = Run([](HWND frame) {
        HWND tree = Find(frame, kTree);
        EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 6);
        EXPECT_FALSE(Enabled(frame, kApply));
        EXPECT_TRUE(IsWindowVisible(PageWith(frame, kBorder))) << "the page of key 47";
        EXPECT_FALSE(IsWindowVisible(PageWith(frame, kGamma)));
        HTREEITEM pictures = TreeView_GetNextSibling(tree, TreeView_GetRoot(tree));
        ASSERT_NE(pictures, nullptr);
        EXPECT_EQ(TreeView_GetChild(tree, pictures), TreeView_GetSelection(tree)) << "page 2 hangs under page 1";
        EXPECT_TRUE(TreeView_GetItemState(tree, pictures, TVIS_EXPANDED) & TVIS_EXPANDED);
        // What a person does to collapse it: the minus key and a double-click on the item.
        TreeView_SelectItem(tree, pictures);
        SendMessageW(tree, WM_KEYDOWN, VK_SUBTRACT, 0);
        RECT r = {};
        TreeView_GetItemRect(tree, pictures, &r, TRUE);
        SendMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2));
        SendMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2));
        EXPECT_TRUE(TreeView_GetItemState(tree, pictures, TVIS_EXPANDED) & TVIS_EXPANDED);
        EXPECT_NE(TreeView_GetChild(tree, pictures), nullptr);
        TreeView_SelectItem(tree, TreeView_GetRoot(tree));
        EXPECT_TRUE(IsWindowVisible(PageWith(frame, kThreshold)));
        EXPECT_FALSE(IsWindowVisible(PageWith(frame, kBorder)));
        Press(frame, IDOK);
    });
    EXPECT_TRUE(outcome.shown);
    EXPECT_FALSE(outcome.reloadPanes);
    EXPECT_EQ(p.settings.optionsPage, 0) << "the page last shown is kept";
}

TEST_F(OptionsDialog, TypedValuesAreCheckedAndApplyThenCancelKeepsWhatWasApplied) {
    Run([](HWND frame) {
        EXPECT_EQ(TextOf(frame, kGamma), L"2.200");
        Type(frame, kThreshold, L"150");
        LeaveField(frame, kThreshold);
        EXPECT_EQ(TextOf(frame, kThreshold), L"99") << "put back into its range when the focus leaves";
        EXPECT_TRUE(Enabled(frame, kApply));
        Type(frame, kGamma, L"2.2");
        Type(frame, kQuality, L"0");
        Press(frame, kApply);
        EXPECT_FALSE(Enabled(frame, kApply));
        EXPECT_EQ(TextOf(frame, kQuality), L"1") << "an unconfirmed value is checked when applied";
        Type(frame, kGamma, L"0");
        Type(frame, kThreshold, L"12");
        Press(frame, kApply);
        Type(frame, kGamma, L"abc");
        Press(frame, kApply);
        EXPECT_EQ(TextOf(frame, kGamma), L"0.001") << "an invalid gamma is replaced by the stored one";
        Type(frame, kThreshold, L"30");
        Click(frame, kPngFlatten);
        Press(frame, IDCANCEL);
    });
    EXPECT_EQ(p.settings.pngDisplayGamma, 1);
    EXPECT_EQ(p.settings.cacheJpegQuality, 1);
    EXPECT_EQ(p.settings.gestureThreshold, 12);
    EXPECT_TRUE(p.settings.pngFlatten) << "Cancel drops what was not applied";
}

TEST_F(OptionsDialog, OnlyTheCellBorderMakesThePanesReload) {
    const ui::OptionsOutcome colours = Run([](HWND frame) {
        const bool seen = PressAnswering(frame, kPaneColour, [](HWND chooser) {
            SetDlgItemInt(chooser, kChooserRed, 17, FALSE);
            PostMessageW(chooser, WM_COMMAND, IDOK, 0);
        });
        EXPECT_TRUE(seen) << "the colour chooser opened";
        Press(frame, IDOK);
    });
    EXPECT_FALSE(colours.reloadPanes);
    EXPECT_EQ(p.settings.activePaneColour & 0xFF, 17u) << "the chooser's colour is stored";

    const ui::OptionsOutcome border = Run([](HWND frame) {
        Click(frame, kBorder);
        SendMessageW(Find(frame, kScaling), CB_SETCURSEL, 0, 0);
        Press(frame, IDOK);
    });
    EXPECT_TRUE(border.reloadPanes);
    EXPECT_FALSE(p.settings.thumbBorder);
    EXPECT_EQ(p.settings.scalingMethod, 0);
}

TEST_F(OptionsDialog, CacheAndPluginFoldersAndTheExcludedList) {
    const std::wstring plugins = temp.Path() + L"\\plugins";
    ASSERT_TRUE(CreateDirectoryW(plugins.c_str(), nullptr));
    for (const wchar_t* name : {L"b.spi", L"a.spi", L"c.sph", L"notes.txt"})
        ASSERT_TRUE(fixtures::ByteWriter().Fill(3, 1).SaveTo(plugins + L"\\" + name));
    p.settings.pluginFolder = plugins;
    p.settings.plugins = {L"A.SPI"};
    Run([&](HWND frame) {
        HWND list = Find(frame, kPluginList);
        ASSERT_EQ(ListView_GetItemCount(list), 3);
        wchar_t name[64] = {};
        ListView_GetItemText(list, 0, 0, name, 64);
        EXPECT_STREQ(name, L"a.spi") << "rows are sorted";
        EXPECT_FALSE(ListView_GetCheckState(list, 0)) << "excluded without regard to case";
        ListView_SetCheckState(list, 0, TRUE);
        ListView_SetCheckState(list, 2, FALSE);
        EXPECT_TRUE(Enabled(frame, kApply));
        // A folder that does not exist is not taken.
        Click(frame, kDefaultCache);
        EXPECT_TRUE(Enabled(frame, kCacheFolder));
        Type(frame, kCacheFolder, temp.Path() + L"\\nowhere");
        Press(frame, kApply);
        EXPECT_EQ(TextOf(frame, kCacheFolder), temp.Path() + L"\\cache");
        EXPECT_EQ(IsDlgButtonChecked(PageWith(frame, kDefaultCache), kDefaultCache), BST_CHECKED);
        Type(frame, kPluginFolder, L"");
        EXPECT_EQ(ListView_GetItemCount(list), 0) << "typing a folder refills the list";
        Type(frame, kPluginFolder, plugins);
        EXPECT_EQ(ListView_GetItemCount(list), 3);
        ListView_SetCheckState(list, 2, FALSE);
        Press(frame, IDOK);
    });
    EXPECT_EQ(p.settings.plugins, std::vector<std::wstring>{L"c.sph"});
    EXPECT_TRUE(p.settings.cacheFolderIsDefault);
    EXPECT_EQ(p.cacheFolder, temp.Path() + L"\\cache");
}

TEST_F(OptionsDialog, AChosenToolProgramNamesAnEmptyTool) {
    const std::wstring program = temp.Path() + L"\\Image Editor.exe";
    ASSERT_TRUE(fixtures::ByteWriter().Fill(2, 'M').SaveTo(program));
    p.settings.tools[1].name = L"Kept";
    Run([&](HWND frame) {
        for (int tool : {0, 1}) {
            const bool seen = PressAnswering(frame, kToolChoose + tool, [&](HWND chooser) {
                SetDlgItemTextW(chooser, kFileNameBox, program.c_str());
                PostMessageW(chooser, WM_COMMAND, IDOK, 0);
            });
            ASSERT_TRUE(seen) << "the file dialog opened";
            EXPECT_TRUE(harness::PumpUntil([&] { return TextOf(frame, kToolPath + tool) == program; }, 3000));
        }
        EXPECT_EQ(TextOf(frame, kToolName), L"Image Editor");
        EXPECT_EQ(TextOf(frame, kToolName + 1), L"Kept");
        Press(frame, IDOK);
    });
    EXPECT_EQ(p.settings.tools[0].path, program);
    EXPECT_EQ(p.settings.tools[0].name, L"Image Editor");
    EXPECT_EQ(p.settings.tools[1].path, program);
}

} // namespace
