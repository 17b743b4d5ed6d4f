// The options dialog's rules: typed texts to settings and back, and what one Apply writes and redoes.
#include "ui/options_rules.h"

#include <gtest/gtest.h>

#include <set>

using namespace options;

namespace {

TEST(OptionsRules, GammaTextAndKey) {
    struct Case {
        int32_t key;
        const wchar_t* text;
    } shown[] = {{2200, L"2.200"}, {1, L"0.001"}, {9999, L"9.999"}, {10000, L"10.00"}, {22055, L"22.06"},
                 {99999, L"100.00"}, {100000, L"100.0"}, {999999, L"1000.0"}, {1000000, L"1000"}, {0, L"0.000"}};
    for (const Case& c : shown)
        EXPECT_EQ(GammaText(c.key), c.text) << c.key;

    struct Typed {
        const wchar_t* text;
        int32_t key;
    } typed[] = {{L"2.2", 2200}, {L"0", 1},      {L"0.0004", 1},  {L"2.2005", 2201}, {L"2.2004", 2200},
                 {L".5", 500},   {L"7.", 7000},  {L"2.200", 2200}, {L"1.99951", 2000}, {L"99999", 99999000}};
    for (const Typed& t : typed) {
        int32_t key = -1;
        EXPECT_TRUE(GammaKey(t.text, &key)) << t.text;
        EXPECT_EQ(key, t.key) << t.text;
    }
    for (const wchar_t* bad : {L"", L".", L"-1", L"2,2", L"2.2.2", L"abc", L" 2", L"9999999"}) {
        int32_t key = 42;
        EXPECT_FALSE(GammaKey(bad, &key)) << bad;
        EXPECT_EQ(key, 42);
    }
    // What the dialog shows reads back as the same key, to the decimals shown.
    for (int32_t key : {1, 2200, 45450, 123400, 2000000}) {
        int32_t back = 0;
        ASSERT_TRUE(GammaKey(GammaText(key), &back));
        EXPECT_EQ(back, key) << key;
    }
}

TEST(OptionsRules, NumericEditsKeepTheirRanges) {
    EXPECT_EQ(RangeValue(L"150", kThresholdRange, 8), 99);
    EXPECT_EQ(RangeValue(L"0", kQualityRange, 80), 1);
    EXPECT_EQ(RangeValue(L"-5", kThresholdRange, 8), 0);
    EXPECT_EQ(RangeValue(L"", kQualityRange, 80), 80) << "an emptied edit keeps the value";
    EXPECT_EQ(RangeValue(L"x", kQualityRange, 500), 100) << "the fallback is clamped too";
    EXPECT_EQ(RangeValue(L"99999999999", kQualityRange, 80), 80);
    EXPECT_EQ(PreviewSizeValue(L"99", 700), 100);
    EXPECT_EQ(PreviewSizeValue(L"5000", 700), 700);
    EXPECT_EQ(PreviewSizeValue(L"", 700), 100);
    EXPECT_EQ(PreviewSizeValue(L"350", 700), 350);
}

TEST(OptionsRules, ChoiceListsMapBothWays) {
    const int32_t order[] = {5210, 5212, 5211, 5030, 5239, 5231, 5232, 5233, 5234, 5235, 5236, 5237, 5238};
    for (int i = 0; i < kMouseChoiceCount; ++i) {
        EXPECT_EQ(CommandOfChoice(i), order[i]);
        EXPECT_EQ(ChoiceOfCommand(order[i]), i);
    }
    EXPECT_EQ(CommandOfChoice(-1), 5210) << "no selection counts as the first item";
    EXPECT_EQ(ChoiceOfCommand(0), -1);
    EXPECT_EQ(ChoiceOfCommand(5740), -1);
    EXPECT_EQ(ScalingMethodOfChoice(5, 1), 3);
    EXPECT_EQ(ScalingMethodOfChoice(-1, 1), 1);
    for (int choice = 0; choice < 3; ++choice)
        EXPECT_EQ(FontHeightChoice(FontHeightOfChoice(choice)), choice);
    EXPECT_EQ(FontHeightChoice(-13), 0);
}

TEST(OptionsRules, ToolProgramChoice) {
    EXPECT_EQ(ToolNameFromPath(L"C:\\Tools\\Image Editor.v2.exe"), L"Image Editor.v2");
    EXPECT_EQ(ToolNameFromPath(L"C:\\Tools\\editor"), L"editor");
    EXPECT_EQ(ToolNameFromPath(L"C:\\Tools\\.hidden"), L".hidden");

    const std::set<std::wstring> files = {L"C:\\Tools\\ed.exe", L"C:\\ed.exe"};
    const std::set<std::wstring> folders = {L"C:\\Tools", L"D:\\Last"};
    const PathFacts facts = {[&](const std::wstring& p) { return files.count(p) > 0; },
                             [&](const std::wstring& p) { return folders.count(p) > 0; }};
    const std::wstring pf = L"C:\\Program Files";
    EXPECT_EQ(InitialToolFolder(L"C:\\Tools\\ed.exe", L"D:\\Last", pf, facts), L"C:\\Tools");
    EXPECT_EQ(InitialToolFolder(L"C:\\ed.exe", L"", pf, facts), L"C:\\");
    EXPECT_EQ(InitialToolFolder(L"C:\\Tools", L"D:\\Last", pf, facts), L"C:\\Tools") << "a folder is used itself";
    EXPECT_EQ(InitialToolFolder(L"C:\\Gone\\ed.exe", L"D:\\Last", pf, facts), L"D:\\Last");
    EXPECT_EQ(InitialToolFolder(L"", L"", pf, facts), pf);
}

TEST(OptionsRules, ExcludedPluginsFollowTheUncheckedRows) {
    const std::vector<std::wstring> excluded = {L"IFJPEG2K.SPI"};
    EXPECT_TRUE(IsExcluded(L"ifjpeg2k.spi", excluded));
    EXPECT_FALSE(IsExcluded(L"ifjpeg2k.sph", excluded));
    std::vector<PluginRow> rows = {{L"a.spi", L"", L"", true}, {L"c.spi", L"", L"", false}, {L"b.sph", L"", L"", false}};
    EXPECT_EQ(ExcludedFromRows(rows), (std::vector<std::wstring>{L"c.spi", L"b.sph"}));
    for (PluginRow& r : rows)
        r.checked = true;
    EXPECT_TRUE(ExcludedFromRows(rows).empty());
}

struct ApplyFixture : ::testing::Test {
    settings::Settings s;
    OptionsContext c;
    std::set<std::wstring> folders = {L"D:\\Cache", L"D:\\Plugins"};
    ApplyFixture() {
        s.previewSize = 600;
        s.languageModule = L"English";
        s.fontFace = L"Tahoma";
        s.optionBlock[0] = 0x5A;
        s.optionBlock[63] = 0xA5;
        s.pluginFolder = L"D:\\Plugins";
        c.screenBound = 700;
        c.settingsPath = L"C:\\Quorle\\Quorle.ini";
        c.currentLanguage = L"English";
        c.currentCacheFolder = L"C:\\Quorle\\cache";
        c.folderExists = [this](const std::wstring& p) { return folders.count(p) > 0; };
    }
    OptionsValues Shown() const { return ValuesFromSettings(s, c.currentCacheFolder); }
};

TEST_F(ApplyFixture, UnchangedValuesChangeNothing) {
    const settings::Settings before = s;
    const OptionsEffects e = ApplyOptions(Shown(), c, s);
    EXPECT_FALSE(e.repaintActivePane || e.pluginsChanged || e.sendToChanged || e.cacheFolderChanged ||
                 e.languageOrFont || e.gammaRejected || e.cacheFolderRejected || e.pluginFolderRejected);
    EXPECT_EQ(s.pngDisplayGamma, before.pngDisplayGamma);
    EXPECT_EQ(s.captionDoubleClick, before.captionDoubleClick);
    EXPECT_EQ(s.previewClick, before.previewClick);
    EXPECT_EQ(s.previewSize, before.previewSize);
    EXPECT_EQ(s.cacheFolder, L"C:\\Quorle\\cache");
    EXPECT_EQ(s.optionBlock, before.optionBlock) << "key 171 is carried unchanged";
}

TEST_F(ApplyFixture, TypedValuesAreCheckedWhenApplied) {
    OptionsValues v = Shown();
    v.gamma = L"2.2.";
    v.quality = L"250";
    v.threshold = L"";
    v.previewSize = L"9000";
    v.scalingChoice = 7;
    v.cacheFolderIsDefault = false;
    v.cacheFolder = L"D:\\Nowhere";
    v.pluginFolder = L"D:\\Missing";
    v.plugins = {{L"x.spi", L"", L"", false}};
    const OptionsEffects e = ApplyOptions(v, c, s);
    EXPECT_TRUE(e.gammaRejected);
    EXPECT_EQ(s.pngDisplayGamma, 2200);
    EXPECT_EQ(s.cacheJpegQuality, 100);
    EXPECT_EQ(s.gestureThreshold, 8);
    EXPECT_EQ(s.previewSize, 700);
    EXPECT_EQ(s.scalingMethod, 3);
    EXPECT_TRUE(e.cacheFolderRejected);
    EXPECT_TRUE(s.cacheFolderIsDefault);
    EXPECT_FALSE(e.cacheFolderChanged);
    EXPECT_TRUE(e.pluginFolderRejected);
    EXPECT_EQ(s.pluginFolder, L"D:\\Plugins");
    EXPECT_TRUE(s.plugins.empty()) << "rows of a refused folder exclude nothing";
    EXPECT_FALSE(e.pluginsChanged);

    v.gamma = L"0";
    v.cacheFolder = L"D:\\Cache";
    v.pluginFolder = L"D:\\Plugins";
    const OptionsEffects again = ApplyOptions(v, c, s);
    EXPECT_EQ(s.pngDisplayGamma, 1);
    EXPECT_FALSE(s.cacheFolderIsDefault);
    EXPECT_EQ(s.cacheFolder, L"D:\\Cache");
    EXPECT_TRUE(again.cacheFolderChanged);
    EXPECT_EQ(again.cacheFolder, L"D:\\Cache");
    EXPECT_TRUE(again.pluginsChanged);
    EXPECT_EQ(s.plugins, std::vector<std::wstring>{L"x.spi"});
}

TEST_F(ApplyFixture, EffectsFollowWhatChanged) {
    OptionsValues v = Shown();
    v.activePaneColour = 0x123456;
    v.pngBackground = 0x654321;
    OptionsEffects e = ApplyOptions(v, c, s);
    EXPECT_TRUE(e.repaintActivePane);
    EXPECT_FALSE(e.languageOrFont);
    EXPECT_EQ(s.pngBackground, 0x654321u);
    EXPECT_FALSE(ApplyOptions(v, c, s).repaintActivePane) << "a second Apply finds nothing new";

    v.language = L"english";
    v.fontFace = L"TAHOMA";
    EXPECT_FALSE(ApplyOptions(v, c, s).languageOrFont) << "names compare without ASCII case";
    v.fontWeightChoice = 1;
    e = ApplyOptions(v, c, s);
    EXPECT_TRUE(e.languageOrFont);
    EXPECT_TRUE(e.language.empty());
    EXPECT_EQ(s.fontWeight, 400) << "the switch stores the font itself";
    v.language = L"Japanese";
    EXPECT_EQ(ApplyOptions(v, c, s).language, L"Japanese");

    v.sendTo = true;
    EXPECT_TRUE(ApplyOptions(v, c, s).sendToChanged);
    c.sendToAtOpen = true;
    EXPECT_FALSE(ApplyOptions(v, c, s).sendToChanged);

    v.page = 9;
    ApplyOptions(v, c, s);
    EXPECT_EQ(s.optionsPage, 0);
    v.mouseChoices = {-1, 12, 4, 3};
    ApplyOptions(v, c, s);
    EXPECT_EQ(s.captionDoubleClick, 5210);
    EXPECT_EQ(s.captionBothButtons, 5238);
    EXPECT_EQ(s.previewClick, 5239);
    EXPECT_EQ(s.previewBothButtons, 5030);
}

} // namespace
