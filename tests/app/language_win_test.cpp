// The English module as it is built, and the loader's checks against modules that are not ours.
#include "app/language_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <commctrl.h>

#include "app/dialog_template.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/harness/win_harness.h"

namespace {

class Language : public ::testing::Test {
  protected:
    void TearDown() override { lang::Unload(); }
    std::wstring Copy(const std::wstring& name) {
        std::wstring to = folder_ / name;
        EXPECT_TRUE(CopyFileW((harness::OutputFolder() + L"\\English.dll").c_str(), to.c_str(), FALSE));
        return to;
    }
    fixtures::TempFolder folder_;
};

TEST_F(Language, TheEnglishModuleLoadsAsResourcesWithItsSignature) {
    std::wstring name;
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    EXPECT_EQ(name, L"English");
    EXPECT_TRUE(lang::HasSignature(lang::Current()));
    // Mapped as an image resource: the handle is not an executable module.
    EXPECT_NE(reinterpret_cast<uintptr_t>(lang::Current()) & 3, 0u);
}

TEST_F(Language, StringsTheMainWindowNeedsAreThere) {
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    for (UINT id : {5000u, 5001u, 5002u, 5003u, 5110u, 5121u, 5122u, 5123u, 5130u, 5140u, 5160u, 5161u, 5180u,
                    5400u, 5700u, 5800u, 402u, 403u, 210u, 20070u, 20200u, 20201u, 5704u, 5804u, 20400u, 20430u,
                    20510u, 20511u, 20512u, 20515u})
        EXPECT_FALSE(lang::Text(id).empty()) << id;
    for (UINT id = 30000; id <= 30013; ++id)
        EXPECT_FALSE(lang::Text(id).empty()) << id;
    for (UINT id = 50000; id <= 50024; ++id)
        EXPECT_FALSE(lang::Text(id).empty()) << id;
    EXPECT_EQ(lang::Text(5000), L"&File");
    EXPECT_TRUE(lang::Text(4999).empty());
}

TEST_F(Language, ErrorBoxTextsFollowTheThreeFamilies) {
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    std::wstring caption, text;
    ASSERT_TRUE(lang::ErrorTexts(30013, &caption, &text));
    EXPECT_EQ(caption, lang::Text(30000));
    EXPECT_EQ(text, lang::Text(30013));
    ASSERT_TRUE(lang::ErrorTexts(50004, &caption, &text));
    EXPECT_EQ(caption, lang::Text(50000));
    EXPECT_EQ(text, lang::Text(50004));
    ASSERT_TRUE(lang::ErrorTexts(50011, &caption, &text));
    EXPECT_EQ(text, lang::Text(50007) + lang::Text(50011));
    EXPECT_FALSE(lang::ErrorTexts(30014, &caption, &text));
    EXPECT_FALSE(lang::ErrorTexts(402, &caption, &text));
}

TEST_F(Language, EveryDialogTemplateIsExtendedWithAFont) {
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    HMODULE m = lang::Current();
    for (UINT id : {2400u, 1600u}) {
        HRSRC res = FindResourceW(m, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
        ASSERT_NE(res, nullptr) << id;
        const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(m, res)));
        dlgtemplate::Facts f;
        EXPECT_TRUE(dlgtemplate::Walk(bytes, SizeofResource(m, res), &f)) << id;
    }
}

TEST_F(Language, ThePresetDialogOpensFromItsCopiedTemplate) {
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    HWND dlg = lang::CreateDialogFromModule(
        2400, nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_NE(GetDlgItem(dlg, 2410), nullptr);
    EXPECT_NE(GetDlgItem(dlg, 2427), nullptr);
    DestroyWindow(dlg);
    EXPECT_EQ(lang::CreateDialogFromModule(
                  2401, nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0),
              nullptr);
}

TEST_F(Language, FallsBackToEnglishAndStoresTheNameThatLoaded) {
    Copy(L"English.dll");
    std::wstring name = L"Klingon";
    ASSERT_TRUE(lang::Load(folder_.Path(), name));
    EXPECT_EQ(name, L"English");
}

TEST_F(Language, AStoredNameCannotReachOutsideTheProgramFolder) {
    Copy(L"English.dll");
    const std::wstring outside = harness::OutputFolder() + L"\\English";
    std::wstring name = outside;
    ASSERT_TRUE(lang::Load(folder_.Path(), name));
    EXPECT_EQ(name, L"English");
    EXPECT_EQ(lang::OpenModule(folder_.Path(), L"..\\English"), nullptr);
}

TEST_F(Language, FallsBackToJapaneseWhenEnglishIsMissing) {
    Copy(L"Japanese.dll");
    std::wstring name;
    ASSERT_TRUE(lang::Load(folder_.Path(), name));
    EXPECT_EQ(name, L"Japanese");
}

TEST_F(Language, ModulesWithoutTheSignatureAreRefused) {
    // A real module that is not a language module, and a file that is not a module at all.
    ASSERT_TRUE(CopyFileW((harness::OutputFolder() + L"\\quorle-probe.exe").c_str(), (folder_ / L"English.dll").c_str(),
                          FALSE));
    fixtures::ByteWriter junk;
    junk.Ascii("MZ").Fill(300, 0x41);
    ASSERT_TRUE(junk.SaveTo(folder_ / L"Japanese.dll"));
    std::wstring name;
    EXPECT_FALSE(lang::Load(folder_.Path(), name));
    EXPECT_EQ(lang::Current(), nullptr);
    EXPECT_EQ(lang::OpenModule(folder_.Path(), L"Missing"), nullptr);
}

TEST_F(Language, TheListHoldsTheCurrentLanguageAndCheckedModules) {
    Copy(L"English.dll");
    Copy(L"German.dll");
    fixtures::ByteWriter junk;
    junk.Ascii("not a module");
    ASSERT_TRUE(junk.SaveTo(folder_ / L"Broken.dll"));
    // The current language is listed without being opened, even when it would not load.
    ASSERT_TRUE(junk.SaveTo(folder_ / L"Current.dll"));
    std::vector<std::wstring> names = lang::LanguageList(folder_.Path(), L"CURRENT");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Current", L"English", L"German"}));
}

// A language chosen while the program runs either replaces the current module or leaves it in use:
// there is no fallback that could swap in another language, and never a moment without texts.
TEST_F(Language, SwitchingKeepsTheCurrentModuleWhenTheNewOneFails) {
    Copy(L"English.dll");
    Copy(L"German.dll");
    fixtures::ByteWriter junk;
    junk.Ascii("MZ").Fill(300, 0x41);
    ASSERT_TRUE(junk.SaveTo(folder_ / L"Broken.dll"));
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(folder_.Path(), name));
    const HMODULE english = lang::Current();
    for (const wchar_t* bad : {L"Broken", L"Missing", L"..\\English", L""}) {
        EXPECT_FALSE(lang::Switch(folder_.Path(), bad)) << bad;
        EXPECT_EQ(lang::Current(), english) << bad;
        EXPECT_EQ(lang::Text(5000), L"&File") << bad;
    }
    ASSERT_TRUE(lang::Switch(folder_.Path(), L"German"));
    EXPECT_NE(lang::Current(), english);
    EXPECT_EQ(lang::Text(5000), L"&File");
}

// The large-font option is read whenever a dialog is made, so a change reaches the next dialog.
TEST_F(Language, TheNextDialogTakesTheDialogFontOptionAsItIsNow) {
    std::wstring name = L"English";
    ASSERT_TRUE(lang::Load(harness::OutputFolder(), name));
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    bool large = false;
    lang::SetDialogOptions(nullptr, &large);
    auto width = [] {
        HWND dlg = lang::CreateDialogFromModule(
            1600, nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        EXPECT_NE(dlg, nullptr);
        RECT r = {};
        GetClientRect(dlg, &r);
        EXPECT_NE(GetDlgItem(dlg, 1630), nullptr);
        DestroyWindow(dlg);
        return r.right;
    };
    const LONG small = width();
    large = true;
    const LONG big = width();
    lang::SetDialogOptions(nullptr, nullptr);
    EXPECT_EQ(width(), small);
    // Dialog units scale with the font: 11 points against 9 is about a fifth wider.
    EXPECT_GT(big, small * 11 / 10) << small << " " << big;
}

} // namespace
