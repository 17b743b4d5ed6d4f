// Every user setting as a typed field, loaded once at start-up and saved once at shutdown.
//
// The comment on each field names its key in the settings store. Defaults are the member initialisers;
// the few that depend on the machine come from SettingsEnvironment when loading.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "common/location.h"

namespace settings {

struct SizePreset {
    int32_t width = 0; // 0 x 0 marks an empty slot
    int32_t height = 0;
};

struct ExternalTool {
    std::wstring path;
    std::wstring name;
    std::wstring parameters;
};

struct Favourite {
    location::LocationKind kind = location::kFileSystemFolder; // as stored, unchecked
    std::vector<uint8_t> idList; // shell item ID list, kept as its bytes
    std::wstring name;
};

struct TreeRoot {
    std::wstring path;
    uint8_t flags = 0;
};

constexpr size_t kMaxFavourites = 16;
constexpr size_t kExifItemCount = 62;
constexpr size_t kOptionBlockSize = 64;
// 53 accelerator entries of 6 bytes.
constexpr size_t kMaxAcceleratorBytes = 318;
constexpr size_t kMouseCommandCount = 15;
constexpr std::array<int32_t, kMouseCommandCount> kDefaultMouseCommands = {5212, 5211, 5740, 0, 0, 5714, 5715};

constexpr std::array<uint8_t, kExifItemCount> AllExifItemsShown() {
    std::array<uint8_t, kExifItemCount> flags{};
    for (uint8_t& f : flags)
        f = 1;
    return flags;
}

// Machine facts the loader cannot find out on its own; filled by the Windows side.
struct SettingsEnvironment {
    int32_t screenBound = 0;     // default and upper bound of the popup preview size
    std::wstring menuFontFace;   // default user-interface font face
    std::wstring picturesFolder; // the tree root when there is no settings file
    std::wstring programFolder;  // the companion viewer is looked for under it
};

struct Settings {
    std::wstring languageModule;                   // 0
    bool windowMaximised = false;                  // 1
    int32_t windowLeft = 200;                      // 2
    int32_t windowTop = 100;                       // 3
    int32_t windowWidth = 800;                     // 4
    int32_t windowHeight = 600;                    // 5
    int32_t hiddenAttributeMask = 2;               // 6
    bool treeShowsArchives = true;                 // 7
    int32_t treeWidth = 170;                       // 8
    bool treeHidden = false;                       // 9
    int32_t thumbWidth = 140;                      // 13, 32..800
    int32_t thumbHeight = 105;                     // 14, 32..800
    std::array<SizePreset, 8> sizePresets{};       // widths 15..22, heights 23..30
    uint32_t activePaneColour = 0xE0FFC0;          // 31, COLORREF
    int32_t paneLayout = 2;                        // 36: 2 both panes, 0 pane 1 only, 1 pane 2 only
    bool clickOpensPreview = true;                 // 37
    bool showCaptions = true;                      // 38
    bool captionName = true;                       // 39
    bool captionSize = true;                       // 40
    bool captionBitDepth = false;                  // 41
    bool captionDate = false;                      // 42
    bool treeOption43 = true;                      // 43
    bool treeOption106 = true;                     // 106
    bool cacheEnabled = true;                      // 44
    bool pruneCacheOnExit = true;                  // 45
    int32_t previewSize = 0;                       // 46, 100..screen bound; loads as the bound by default
    int32_t optionsPage = 0;                       // 47, 0..5
    bool pngGamma = true;                          // 48
    int32_t pngDisplayGamma = 2200;                // 49, gamma x 1000
    bool pngFlatten = true;                        // 50
    bool pngFileBackground = true;                 // 51
    uint32_t pngBackground = 0xFFFFFF;             // 52, COLORREF
    int32_t printColumns = 6;                      // 54, 2..12
    bool closeViewerOnExit = false;                // 55
    int32_t fontHeight = -12;                      // 56: -12, -14 or -16
    int32_t fontWeight = 400;                      // 57: 400 or 700
    std::vector<uint8_t> accelerators;             // 58: whole 6-byte entries, at most kMaxAcceleratorBytes
    // 58 holds the inline value 0 instead of a block: the user removed every shortcut. An absent key
    // means the default shortcuts, so an empty table needs a mark of its own.
    bool noShortcuts = false;
    std::wstring viewerPath;                       // 59
    std::wstring pluginFolder;                     // 60
    std::array<ExternalTool, 8> tools;             // paths 61..68, names 69..76, parameters 77..84
    std::vector<Favourite> favourites;             // names 85..100, kinds 107..122, ID lists 123..138
    std::vector<TreeRoot> treeRoots;               // paths 101, flags 104
    std::vector<std::wstring> plugins;             // 102
    bool exifOrientation = true;                   // 103
    std::array<uint8_t, kExifItemCount> exifItemFlags = AllExifItemsShown(); // 105
    std::array<int32_t, 4> printMargins{};         // 139..142: left, right, top, bottom
    std::array<int32_t, kMouseCommandCount> mouseCommands = kDefaultMouseCommands; // 143..157
    int32_t captionDoubleClick = 5030;             // 158
    int32_t captionBothButtons = 5211;             // 159
    int32_t previewClick = 5212;                   // 160
    int32_t previewBothButtons = 5211;             // 161
    int32_t gestureThreshold = 8;                  // 162, pixels
    bool shortcutDialogMouseMode = false;          // 163
    std::wstring cacheFolder;                      // 164, used when key 167 is off
    int32_t cacheJpegQuality = 80;                 // 165
    bool thumbBorder = true;                       // 166
    bool cacheFolderIsDefault = true;              // 167
    int32_t scalingMethod = 3;                     // 168, 0..3
    std::wstring fontFace;                         // 169
    bool largeDialogFont = false;                  // 170
    std::array<uint8_t, kOptionBlockSize> optionBlock{}; // 171, kept as it is

    // Not stored: pane 2 when only pane 2 is shown, else pane 1.
    int activePane = 0;
};

// The command a legacy mouse code (or a choice index of the options dialog's lists) stands for;
// 0 for codes outside the table.
int32_t LegacyMouseCommand(uint32_t code);

// Reads every key, applies the ranges and rules, and fills the machine-dependent defaults.
// An unloaded reader gives the defaults.
Settings LoadSettings(const SettingsReader& reader, const SettingsEnvironment& env);

// Writes every key this version owns, in the fixed order that decides the order of the blocks.
void SaveSettings(SettingsWriter& writer, const Settings& settings);

// The keys SaveSettings writes, in the order it writes them.
const std::vector<uint8_t>& SaveOrder();

} // namespace settings
