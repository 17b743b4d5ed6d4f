#include "app/settings.h"
#include "app/shortcut_table.h"

#include <algorithm>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "common/dpi.h"
#include "common/platform.h"
#include "tests/app/settings_fixture.h"
#include "tests/fixtures/byte_writer.h"
#include "ui/layout.h"

using namespace settings;
using settings_fixture::EntryFirst;
using settings_fixture::EntrySecond;
using settings_fixture::SettingsFile;

namespace {

SettingsEnvironment TestEnv() {
    SettingsEnvironment env;
    env.screenBound = 1000;
    env.menuFontFace = L"Menu Face";
    env.picturesFolder = L"C:\\Users\\me\\Pictures";
    env.programFolder = L"C:\\Quorle";
    return env;
}

Settings LoadFile(const fixtures::TempFolder& dir, const SettingsFile& file,
                  const SettingsEnvironment& env = TestEnv()) {
    std::wstring path = dir / L"Quorle.ini";
    EXPECT_TRUE(file.SaveTo(path));
    SettingsReader r;
    r.Open(path);
    return LoadSettings(r, env);
}

Settings LoadPath(const std::wstring& path, const SettingsEnvironment& env = TestEnv()) {
    SettingsReader r;
    r.Open(path);
    return LoadSettings(r, env);
}

void SavePath(const std::wstring& path, const Settings& s) {
    SettingsWriter w;
    ASSERT_TRUE(w.Open(path));
    SaveSettings(w, s);
    ASSERT_TRUE(w.Finish());
}

std::vector<uint8_t> Units(const std::wstring& text) {
    fixtures::ByteWriter w;
    w.Utf16LE(text);
    return w.Data();
}

TEST(LoadSettings, DefaultsWithoutFile) {
    SettingsReader none;
    Settings s = LoadSettings(none, TestEnv());
    EXPECT_TRUE(s.languageModule.empty());
    EXPECT_FALSE(s.windowMaximised);
    EXPECT_EQ(s.windowLeft, 200);
    EXPECT_EQ(s.windowTop, 100);
    EXPECT_EQ(s.windowWidth, 800);
    EXPECT_EQ(s.windowHeight, 600);
    EXPECT_EQ(s.hiddenAttributeMask, 2);
    EXPECT_TRUE(s.treeShowsArchives);
    EXPECT_EQ(s.treeWidth, 170);
    EXPECT_EQ(s.thumbWidth, 140);
    EXPECT_EQ(s.thumbHeight, 105);
    EXPECT_EQ(s.activePaneColour, 0xE0FFC0u);
    EXPECT_EQ(s.paneLayout, 2);
    EXPECT_EQ(s.activePane, 0);
    EXPECT_EQ(s.previewSize, 1000); // the screen bound
    EXPECT_EQ(s.pngDisplayGamma, 2200);
    EXPECT_EQ(s.pngBackground, 0xFFFFFFu);
    EXPECT_EQ(s.printColumns, 6);
    EXPECT_EQ(s.fontHeight, -12);
    EXPECT_EQ(s.fontWeight, 400);
    EXPECT_EQ(s.fontFace, L"Menu Face");
    EXPECT_EQ(s.viewerPath, L"C:\\Quorle\\Drova\\Drova.exe");
    EXPECT_TRUE(s.accelerators.empty());
    ASSERT_EQ(s.treeRoots.size(), 1u);
    EXPECT_EQ(s.treeRoots[0].path, L"C:\\Users\\me\\Pictures");
    EXPECT_EQ(s.treeRoots[0].flags, 0);
    EXPECT_TRUE(s.favourites.empty());
    EXPECT_TRUE(std::all_of(s.exifItemFlags.begin(), s.exifItemFlags.end(), [](uint8_t f) { return f == 1; }));
    EXPECT_TRUE(std::all_of(s.optionBlock.begin(), s.optionBlock.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(s.mouseCommands, (std::array<int32_t, 15>{5212, 5211, 5740, 0, 0, 5714, 5715}));
    EXPECT_EQ(s.captionDoubleClick, 5030);
    EXPECT_EQ(s.captionBothButtons, 5211);
    EXPECT_EQ(s.previewClick, 5212);
    EXPECT_EQ(s.previewBothButtons, 5211);
    EXPECT_EQ(s.gestureThreshold, 8);
    EXPECT_EQ(s.cacheJpegQuality, 80);
    EXPECT_TRUE(s.cacheFolderIsDefault);
    EXPECT_EQ(s.scalingMethod, 3);
}

TEST(LoadSettings, DamagedFileGivesDefaults) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter w;
    w.U16LE(172).U16LE(3560);
    w.U32LE(0).U32LE(0);           // key 0
    w.U32LE(1).U32LE(1);           // key 1: maximised
    w.Fill(8 * 11);                // keys 2..12
    w.U32LE(1).U32LE(300);         // key 13, then the directory stops
    ASSERT_TRUE(w.SaveTo(dir / L"Quorle.ini"));
    Settings s = LoadPath(dir / L"Quorle.ini");
    EXPECT_FALSE(s.windowMaximised);
    EXPECT_EQ(s.thumbWidth, 140);
    ASSERT_EQ(s.treeRoots.size(), 1u); // not loaded: the Pictures folder
}

TEST(LoadSettings, RangesAndAllowedValues) {
    struct Case {
        int key;
        uint32_t stored;
        int32_t expected;
        std::function<int32_t(const Settings&)> field;
    };
    auto thumbW = [](const Settings& s) { return s.thumbWidth; };
    auto thumbH = [](const Settings& s) { return s.thumbHeight; };
    auto preview = [](const Settings& s) { return s.previewSize; };
    auto page = [](const Settings& s) { return s.optionsPage; };
    auto columns = [](const Settings& s) { return s.printColumns; };
    auto height = [](const Settings& s) { return s.fontHeight; };
    auto weight = [](const Settings& s) { return s.fontWeight; };
    auto scaling = [](const Settings& s) { return s.scalingMethod; };
    const Case cases[] = {
        {13, 20, 32, thumbW},     {13, 1000, 800, thumbW}, {13, 32, 32, thumbW},  {13, 800, 800, thumbW},
        {14, uint32_t(-5), 32, thumbH}, {14, 333, 333, thumbH},
        {46, 99, 100, preview},   {46, 100, 100, preview}, {46, 640, 640, preview}, {46, 5000, 1000, preview},
        {47, 5, 5, page},         {47, 6, 0, page},        {47, uint32_t(-1), 0, page},
        {54, 1, 2, columns},      {54, 13, 12, columns},   {54, 7, 7, columns},
        {56, uint32_t(-13), -12, height}, {56, uint32_t(-14), -14, height}, {56, uint32_t(-16), -16, height},
        {56, 12, -12, height},
        {57, 600, 400, weight},   {57, 700, 700, weight},
        {168, 4, 3, scaling},     {168, 0, 0, scaling},    {168, uint32_t(-1), 3, scaling},
    };
    fixtures::TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " stored " << int32_t(c.stored));
        SettingsFile f;
        f.Inline(c.key, c.stored);
        EXPECT_EQ(c.field(LoadFile(dir, f)), c.expected);
    }
}

TEST(LoadSettings, PresetsNeedBothSides) {
    fixtures::TempFolder dir;
    SettingsFile f;
    f.Inline(15, 0).Inline(23, 100);    // preset 0: width 0, height 100
    f.Inline(16, 20).Inline(24, 1000);  // preset 1: clamped
    f.Inline(17, 160).Inline(25, 120);  // preset 2: as stored
    f.Inline(18, 50);                   // preset 3: height missing
    Settings s = LoadFile(dir, f);
    EXPECT_EQ(s.sizePresets[0].width, 0);
    EXPECT_EQ(s.sizePresets[0].height, 0);
    EXPECT_EQ(s.sizePresets[1].width, 32);
    EXPECT_EQ(s.sizePresets[1].height, 800);
    EXPECT_EQ(s.sizePresets[2].width, 160);
    EXPECT_EQ(s.sizePresets[2].height, 120);
    EXPECT_EQ(s.sizePresets[3].width, 0);
    EXPECT_EQ(s.sizePresets[3].height, 0);
}

TEST(LoadSettings, LegacyMouseKeysBelowVersion3480) {
    fixtures::TempFolder dir;
    for (uint16_t version : {3479, 3480}) {
        SCOPED_TRACE(version);
        SettingsFile f(172, version);
        f.Inline(32, 4).Inline(33, 12).Inline(34, 13).Inline(35, 0);
        f.Inline(143, 5740).Inline(160, 5740);
        Settings s = LoadFile(dir, f);
        if (version == 3479) {
            EXPECT_EQ(s.previewClick, 5239);
            EXPECT_EQ(s.mouseCommands[0], 5239);
            EXPECT_EQ(s.captionDoubleClick, 5238);
            EXPECT_EQ(s.previewBothButtons, 0);
            EXPECT_EQ(s.mouseCommands[1], 0);
            EXPECT_EQ(s.captionBothButtons, 5210);
        } else {
            EXPECT_EQ(s.previewClick, 5740);
            EXPECT_EQ(s.mouseCommands[0], 5740);
            EXPECT_EQ(s.captionDoubleClick, 5030);
            EXPECT_EQ(s.previewBothButtons, 5211);
        }
    }
    // Without legacy values an old file gets the same commands as a new one.
    Settings s = LoadFile(dir, SettingsFile(172, 3000));
    EXPECT_EQ((std::vector<int32_t>{s.captionDoubleClick, s.captionBothButtons, s.previewClick, s.previewBothButtons,
                                    s.mouseCommands[0], s.mouseCommands[1]}),
              (std::vector<int32_t>{5030, 5211, 5212, 5211, 5212, 5211}));
}

TEST(LegacyMouseCommand, WholeTable) {
    const int32_t expected[] = {5210, 5212, 5211, 5030, 5239, 5231, 5232, 5233, 5234, 5235, 5236, 5237, 5238};
    for (uint32_t code = 0; code < 13; ++code)
        EXPECT_EQ(LegacyMouseCommand(code), expected[code]) << code;
    EXPECT_EQ(LegacyMouseCommand(13), 0);
    EXPECT_EQ(LegacyMouseCommand(0xFFFFFFFF), 0);
}

TEST(LoadSettings, BoundedBlocks) {
    fixtures::TempFolder dir;
    struct Case {
        int key;
        size_t length;
        bool kept;
    };
    const Case cases[] = {
        {58, 324, false}, {58, 318, true}, {58, 6, true},
        {105, 63, false}, {105, 62, true}, {105, 10, true},
        {171, 65, false}, {171, 64, true}, {171, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " length " << c.length);
        SettingsFile f;
        f.Block(c.key, std::vector<uint8_t>(c.length, 2));
        Settings s = LoadFile(dir, f);
        if (c.key == 58) {
            EXPECT_EQ(s.accelerators.size(), c.kept ? c.length : 0u);
        } else if (c.key == 105) {
            for (size_t i = 0; i < s.exifItemFlags.size(); ++i)
                ASSERT_EQ(s.exifItemFlags[i], c.kept && i < c.length ? 2 : 1) << i;
        } else {
            for (size_t i = 0; i < s.optionBlock.size(); ++i)
                ASSERT_EQ(s.optionBlock[i], c.kept && i < c.length ? 2 : 0) << i;
        }
    }
    SettingsFile odd;
    odd.Block(58, std::vector<uint8_t>(13, 1)); // two whole entries and a stray byte
    EXPECT_EQ(LoadFile(dir, odd).accelerators.size(), 12u);
}

TEST(LoadSettings, ViewerPathMustExist) {
    fixtures::TempFolder dir;
    std::wstring viewer = dir / L"Viewer.exe";
    fixtures::ByteWriter exe;
    exe.Ascii("MZ");
    ASSERT_TRUE(exe.SaveTo(viewer));
    SettingsFile present;
    present.String(59, viewer);
    EXPECT_EQ(LoadFile(dir, present).viewerPath, viewer);
    SettingsFile absent;
    absent.String(59, dir / L"Gone.exe");
    EXPECT_EQ(LoadFile(dir, absent).viewerPath, L"C:\\Quorle\\Drova\\Drova.exe");
}

TEST(LoadSettings, TreeRootsAndTheirFlags) {
    fixtures::TempFolder dir;
    SettingsFile f;
    f.Block(101, Units(std::wstring(L"C:\\a") + L'\0' + L"D:\\b" + L'\0' + L"E:\\c" + L'\0'));
    f.Block(104, {1, 0}); // flags for the first two roots only
    Settings s = LoadFile(dir, f);
    ASSERT_EQ(s.treeRoots.size(), 3u);
    EXPECT_EQ(s.treeRoots[0].path, L"C:\\a");
    EXPECT_EQ(s.treeRoots[0].flags, 1);
    EXPECT_EQ(s.treeRoots[1].flags, 0);
    EXPECT_EQ(s.treeRoots[2].path, L"E:\\c");
    EXPECT_EQ(s.treeRoots[2].flags, 0);

    SettingsFile tooLong;
    tooLong.Block(101, Units(std::wstring(L"C") + L'\0'));
    tooLong.Block(104, {1, 1, 1, 1, 1}); // longer than the 4-byte root list
    s = LoadFile(dir, tooLong);
    ASSERT_EQ(s.treeRoots.size(), 1u);
    EXPECT_EQ(s.treeRoots[0].flags, 0);

    // A settings file without roots keeps the tree without roots.
    EXPECT_TRUE(LoadFile(dir, SettingsFile()).treeRoots.empty());
}

TEST(LoadSettings, FavouritesEndAtFirstEmptyName) {
    fixtures::TempFolder dir;
    SettingsFile f;
    f.String(85, L"Holiday").Inline(107, 2).Block(123, {0x14, 0x00, 0xAA, 0, 0});
    f.String(86, L"Work");
    f.String(88, L"Hidden behind the gap");
    Settings s = LoadFile(dir, f);
    ASSERT_EQ(s.favourites.size(), 2u);
    EXPECT_EQ(s.favourites[0].name, L"Holiday");
    EXPECT_EQ(s.favourites[0].kind, 2);
    EXPECT_EQ(s.favourites[0].idList, (std::vector<uint8_t>{0x14, 0x00, 0xAA, 0, 0}));
    EXPECT_TRUE(s.favourites[1].idList.empty());
}

TEST(LoadSettings, ActivePaneFromLayout) {
    fixtures::TempFolder dir;
    for (auto [layout, pane] : {std::pair<uint32_t, int>{0, 0}, {1, 1}, {2, 0}}) {
        SettingsFile f;
        f.Inline(36, layout);
        EXPECT_EQ(LoadFile(dir, f).activePane, pane) << layout;
    }
}

TEST(LoadSettings, EachKeyLandsInItsField) {
#define FIELD(name) [](const Settings& s) -> int64_t { return s.name; }
    struct Case {
        int key;
        uint32_t stored;
        int64_t expected;
        int64_t (*field)(const Settings&);
    };
    // Flags are stored as 2 or 3 to show that only bit 0 counts, alternating so that neighbours differ.
    const Case cases[] = {
        {1, 3, 1, FIELD(windowMaximised)}, {2, uint32_t(-8), -8, FIELD(windowLeft)}, {3, 11, 11, FIELD(windowTop)},
        {4, 1024, 1024, FIELD(windowWidth)}, {5, 700, 700, FIELD(windowHeight)},
        {6, 6, 6, FIELD(hiddenAttributeMask)}, {7, 2, 0, FIELD(treeShowsArchives)}, {8, 250, 250, FIELD(treeWidth)},
        {9, 3, 1, FIELD(treeHidden)}, {13, 200, 200, FIELD(thumbWidth)}, {14, 150, 150, FIELD(thumbHeight)},
        {31, 0xFF123456, 0xFF123456, FIELD(activePaneColour)}, {36, 0, 0, FIELD(paneLayout)},
        {37, 2, 0, FIELD(clickOpensPreview)}, {38, 3, 1, FIELD(showCaptions)}, {39, 2, 0, FIELD(captionName)},
        {40, 3, 1, FIELD(captionSize)}, {41, 3, 1, FIELD(captionBitDepth)}, {42, 2, 0, FIELD(captionDate)},
        {43, 2, 0, FIELD(treeOption43)}, {44, 3, 1, FIELD(cacheEnabled)}, {45, 2, 0, FIELD(pruneCacheOnExit)},
        {46, 640, 640, FIELD(previewSize)}, {47, 4, 4, FIELD(optionsPage)}, {48, 2, 0, FIELD(pngGamma)},
        {49, 1800, 1800, FIELD(pngDisplayGamma)}, {50, 3, 1, FIELD(pngFlatten)}, {51, 2, 0, FIELD(pngFileBackground)},
        {52, 0x808080, 0x808080, FIELD(pngBackground)}, {54, 9, 9, FIELD(printColumns)},
        {55, 3, 1, FIELD(closeViewerOnExit)}, {56, uint32_t(-16), -16, FIELD(fontHeight)},
        {57, 700, 700, FIELD(fontWeight)}, {103, 2, 0, FIELD(exifOrientation)}, {106, 3, 1, FIELD(treeOption106)},
        {139, 1, 1, FIELD(printMargins[0])}, {142, 4, 4, FIELD(printMargins[3])},
        {143, 5001, 5001, FIELD(mouseCommands[0])}, {157, 5015, 5015, FIELD(mouseCommands[14])},
        {158, 5231, 5231, FIELD(captionDoubleClick)}, {159, 5232, 5232, FIELD(captionBothButtons)},
        {160, 5233, 5233, FIELD(previewClick)}, {161, 5234, 5234, FIELD(previewBothButtons)},
        {162, 15, 15, FIELD(gestureThreshold)}, {163, 3, 1, FIELD(shortcutDialogMouseMode)},
        {165, 95, 95, FIELD(cacheJpegQuality)}, {166, 3, 1, FIELD(thumbBorder)},
        {167, 2, 0, FIELD(cacheFolderIsDefault)}, {168, 1, 1, FIELD(scalingMethod)}, {170, 2, 0, FIELD(largeDialogFont)},
    };
#undef FIELD
    fixtures::TempFolder dir;
    SettingsFile f;
    for (const Case& c : cases)
        f.Inline(c.key, c.stored);
    f.String(0, L"Deutsch.dll").String(60, L"C:\\plug").String(164, L"E:\\cache").String(169, L"Tahoma");
    f.String(61, L"t1.exe").String(76, L"Tool 8").String(84, L"-x");
    Settings s = LoadFile(dir, f);
    for (const Case& c : cases)
        EXPECT_EQ(c.field(s), c.expected) << "key " << c.key;
    EXPECT_EQ(s.languageModule, L"Deutsch.dll");
    EXPECT_EQ(s.pluginFolder, L"C:\\plug");
    EXPECT_EQ(s.cacheFolder, L"E:\\cache");
    EXPECT_EQ(s.fontFace, L"Tahoma");
    EXPECT_EQ(s.tools[0].path, L"t1.exe");
    EXPECT_EQ(s.tools[7].name, L"Tool 8");
    EXPECT_EQ(s.tools[7].parameters, L"-x");
}

// Every grouped or block-valued key filled.
Settings Rich(const fixtures::TempFolder& dir) {
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    for (int i = 0; i < 8; ++i) {
        std::wstring n = std::to_wstring(i);
        s.sizePresets[size_t(i)] = {100 + i, 200 + i};
        s.tools[size_t(i)] = {L"C:\\tool" + n + L".exe", L"Tool " + n, L"-x " + n};
    }
    s.languageModule = L"Deutsch.dll";
    s.accelerators = {9, 0, 'Q', 0, 0x9C, 0x13, 1, 0, 'W', 0, 0xA6, 0x13};
    s.viewerPath = dir / L"Viewer.exe";
    s.pluginFolder = dir.Path();
    s.plugins = {L"ifpng.spi"};
    s.favourites = {{location::kShellFolder, {0x02, 0x00, 0x00, 0x00}, L"One"},
                    {location::kFileSystemFolder, {7}, L"Two \U0001F600"}};
    s.treeRoots = {{L"C:\\Photos", 1}, {L"D:\\Scans", 0}};
    s.exifItemFlags.fill(0);
    s.printMargins = {1, 2, 3, 4};
    s.cacheFolder = L"E:\\cache";
    for (size_t i = 0; i < s.optionBlock.size(); ++i)
        s.optionBlock[i] = uint8_t(i + 1);
    fixtures::ByteWriter touch;
    touch.Ascii("x");
    EXPECT_TRUE(touch.SaveTo(dir / L"Viewer.exe"));
    EXPECT_TRUE(touch.SaveTo(dir / L"ifpng.spi"));
    return s;
}

TEST(SaveSettings, ReloadedSettingsWriteTheSameFile) {
    fixtures::TempFolder dir;
    Settings s = Rich(dir);
    SavePath(dir / L"a.ini", s);
    Settings back = LoadPath(dir / L"a.ini");
    SavePath(dir / L"b.ini", back);
    std::vector<uint8_t> a = fixtures::ReadWholeFile(dir / L"a.ini");
    EXPECT_EQ(a, fixtures::ReadWholeFile(dir / L"b.ini"));
    for (uint8_t key : SaveOrder()) {
        bool unusedFavourite = (key >= 87 && key <= 100) || (key >= 109 && key <= 122) || (key >= 125 && key <= 138);
        EXPECT_EQ(EntryFirst(a, key) != 0, !unusedFavourite) << int(key);
    }
    // Blocks follow the save order without gaps.
    uint32_t next = 1380;
    for (uint8_t key : SaveOrder()) {
        if (EntryFirst(a, key) < 2)
            continue;
        EXPECT_EQ(EntryFirst(a, key), next) << int(key);
        next += EntrySecond(a, key);
    }
    EXPECT_EQ(a.size(), next);
    ASSERT_EQ(back.favourites.size(), 2u);
    EXPECT_EQ(back.favourites[1].name, s.favourites[1].name);
    EXPECT_EQ(back.favourites[0].idList, s.favourites[0].idList);
    EXPECT_EQ(back.sizePresets[7].height, 207);
    EXPECT_EQ(back.exifItemFlags, s.exifItemFlags);
    EXPECT_EQ(back.optionBlock, s.optionBlock);
}

TEST(SaveSettings, OrderCoversEveryOwnedKeyOnce) {
    std::set<int> seen;
    for (uint8_t key : SaveOrder())
        EXPECT_TRUE(seen.insert(key).second) << int(key);
    // Keys 10..12 and 53 belong to nobody, 32..35 only to older files.
    for (int key = 0; key < kKeyCount; ++key) {
        bool carriedOnly = (key >= 10 && key <= 12) || key == 53 || (key >= 32 && key <= 35);
        EXPECT_EQ(seen.count(key) == 0, carriedOnly) << key;
    }
    const std::vector<uint8_t>& order = SaveOrder();
    EXPECT_EQ((std::vector<int>(order.begin(), order.begin() + 8)), (std::vector<int>{0, 58, 1, 2, 3, 4, 5, 167}));
    EXPECT_EQ((std::vector<int>(order.end() - 6, order.end())), (std::vector<int>{101, 104, 139, 140, 141, 142}));
}

TEST(SaveSettings, UnknownKeyBlockMovesBehindNewBlocks) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    SettingsFile old;
    old.Block(10, {'k', 'e', 'y', '1', '0'});
    old.String(0, L"Old.dll");
    ASSERT_TRUE(old.SaveTo(path));
    SavePath(path, LoadPath(path));
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    EXPECT_EQ(EntrySecond(b, 10), 5u);
    EXPECT_EQ(EntryFirst(b, 10), b.size() - 5);
    EXPECT_EQ(std::string(b.end() - 5, b.end()), "key10");
}

TEST(SaveSettings, RemovedFavouriteStaysRemoved) {
    fixtures::TempFolder dir;
    std::wstring path = dir / L"Quorle.ini";
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    s.favourites = {{location::kFileSystemFolder, {1, 2}, L"A"},
                    {location::kShellFolder, {3}, L"B"},
                    {location::kZipArchive, {4, 5, 6}, L"C"}};
    SavePath(path, s);
    Settings loaded = LoadPath(path);
    ASSERT_EQ(loaded.favourites.size(), 3u);
    loaded.favourites.pop_back();
    SavePath(path, loaded);
    Settings again = LoadPath(path);
    ASSERT_EQ(again.favourites.size(), 2u);
    EXPECT_EQ(again.favourites[1].name, L"B");
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    EXPECT_EQ(EntryFirst(b, 87), 0u); // name, kind and ID list of the third slot are gone
    EXPECT_EQ(EntryFirst(b, 109), 0u);
    EXPECT_EQ(EntryFirst(b, 125), 0u);
}

TEST(SaveSettings, PluginNamesOnlyWhenTheFileExists) {
    fixtures::TempFolder dir;
    fixtures::ByteWriter touch;
    touch.Ascii("x");
    ASSERT_TRUE(touch.SaveTo(dir / L"kept.spi"));
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    s.pluginFolder = dir.Path();
    s.plugins = {L"gone.spi", L"kept.spi", L""};
    SavePath(dir / L"Quorle.ini", s);
    EXPECT_EQ(LoadPath(dir / L"Quorle.ini").plugins, (std::vector<std::wstring>{L"kept.spi"}));
}

TEST(SaveSettings, AcceleratorsCappedAtWholeEntries) {
    fixtures::TempFolder dir;
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    s.accelerators.assign(60 * 6 + 2, 1); // 60 entries and a stray tail
    SavePath(dir / L"Quorle.ini", s);
    std::vector<uint8_t> b = fixtures::ReadWholeFile(dir / L"Quorle.ini");
    EXPECT_EQ(EntrySecond(b, 58), 318u);
}

// An absent key 58 means the default shortcuts, so a table the user emptied needs its own mark, and a
// later table must replace the mark.
TEST(SaveSettings, AnEmptiedShortcutTableStaysEmpty) {
    fixtures::TempFolder dir;
    const std::wstring path = dir / L"Quorle.ini";
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    s.noShortcuts = true;
    SavePath(path, s);
    std::vector<uint8_t> b = fixtures::ReadWholeFile(path);
    EXPECT_EQ(EntryFirst(b, 58), 1u);
    EXPECT_EQ(EntrySecond(b, 58), 0u);
    Settings loaded = LoadPath(path);
    EXPECT_TRUE(loaded.noShortcuts);
    const shortcuts::ShortcutTable table = shortcuts::LoadShortcuts(loaded.accelerators, loaded.noShortcuts);
    EXPECT_TRUE(table.live.empty());
    for (const shortcuts::Slot& slot : table.slots)
        EXPECT_EQ(slot.key, 0u) << slot.command;

    loaded.noShortcuts = false;
    loaded.accelerators = {9, 0, 'Q', 0, 0x9C, 0x13};
    SavePath(path, loaded);
    Settings again = LoadPath(path);
    EXPECT_FALSE(again.noShortcuts);
    EXPECT_EQ(shortcuts::LoadShortcuts(again.accelerators, again.noShortcuts).live.size(), 1u);

    // Files written before the mark existed: no key gives the defaults, as does an inline value other than 0.
    for (const SettingsFile& old : {SettingsFile(), SettingsFile().Inline(58, 7)}) {
        Settings o = LoadFile(dir, old);
        EXPECT_FALSE(o.noShortcuts);
        EXPECT_EQ(shortcuts::LoadShortcuts(o.accelerators, o.noShortcuts).live.size(),
                  shortcuts::LiveTableFromSlots(shortcuts::DefaultSlots()).size());
    }
}

} // namespace

namespace {

// The program's own plug-ins are taken on a first start only: a settings file keeps the user's
// folder, and an empty one too (the user switched the plug-ins off).
TEST(LoadSettings, FirstStartTakesTheBundledPluginFolder) {
    fixtures::TempFolder dir;
    SettingsEnvironment env = TestEnv();
    env.programFolder = dir.Path();
    SettingsReader none;
    EXPECT_TRUE(LoadSettings(none, env).pluginFolder.empty()) << "no plugins folder beside the program";

    ASSERT_TRUE(platform::CreateFolder(dir / L"plugins"));
    EXPECT_EQ(LoadSettings(none, env).pluginFolder, dir / L"plugins\\");

    for (const std::wstring& chosen : {std::wstring(L"D:\\mine\\"), std::wstring()}) {
        Settings s = LoadSettings(none, env);
        s.pluginFolder = chosen;
        const std::wstring path = dir / L"Quorle.ini";
        SavePath(path, s);
        EXPECT_EQ(LoadPath(path, env).pluginFolder, chosen);
    }
}

} // namespace

namespace {

// The frame's layout kept while the window was on a 150 % screen: the stored numbers are the
// 96-dpi ones, so the file read on a 100 % screen lays the window out at the size the user chose.
TEST(SaveSettings, LayoutWrittenAt144DpiReadsBackAt96DpiUnchanged) {
    fixtures::TempFolder dir;
    Settings s = LoadSettings(SettingsReader(), TestEnv());
    const layout::Size size = layout::StoredWindowSize(1200, 900, 144);
    s.windowWidth = size.width;
    s.windowHeight = size.height;
    s.treeWidth = dpi::Unscale(dpi::Scale(250, 144), 144);
    s.paneLayout = layout::kLayoutBoth;
    s.fontHeight = -14;
    SavePath(dir / L"at144.ini", s);

    const std::vector<uint8_t> file = fixtures::ReadWholeFile(dir / L"at144.ini");
    EXPECT_EQ(EntrySecond(file, 4), 800u);
    EXPECT_EQ(EntrySecond(file, 5), 600u);
    EXPECT_EQ(EntrySecond(file, 8), 250u);
    EXPECT_EQ(EntrySecond(file, 56), uint32_t(-14));

    const Settings back = LoadPath(dir / L"at144.ini");
    EXPECT_EQ(back.windowWidth, 800);
    EXPECT_EQ(back.windowHeight, 600);
    EXPECT_EQ(back.treeWidth, 250);
    EXPECT_EQ(back.fontHeight, -14);
    const layout::Rect at96 = layout::WindowAt(layout::FromSize(back.windowLeft, back.windowTop, back.windowWidth,
                                                                back.windowHeight), 96);
    EXPECT_EQ(at96.Width(), 800);
    const layout::PaneRects panes = layout::ComputePaneRects(784, 500, back.treeWidth, false, back.paneLayout, 96);
    EXPECT_EQ(panes.pane[0].left, 250);
    EXPECT_EQ(dpi::FontHeight(back.fontHeight, 96), -14);
    // Written again at 96 dpi, the file is the same byte for byte.
    SavePath(dir / L"at96.ini", back);
    EXPECT_EQ(fixtures::ReadWholeFile(dir / L"at96.ini"), file);
}

} // namespace
