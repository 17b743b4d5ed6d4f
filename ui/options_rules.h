// The options dialog's rules that need no window: how a control's text becomes a setting and back,
// and which settings one Apply writes and what it must then redo. The dialog (ui/options_dialog_win.*)
// reads its controls into `OptionsValues`, hands them to ApplyOptions and carries out the effects.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"

namespace options {

constexpr int kPageCount = 6;

struct Range {
    int low;
    int high;
};
constexpr Range kThresholdRange = {0, 99};
constexpr Range kQualityRange = {1, 100};
constexpr int kMinPreviewSize = 100;

// The digits of a numeric edit as a value; false for an empty text or anything but digits (with one
// leading minus), or a value beyond int32.
bool ParseInteger(const std::wstring& text, int32_t* value);
// A value below the range becomes the low end, above it the high end.
int32_t Clamp(int32_t value, Range range);
// What a numeric edit holds after it lost the focus: the text clamped, or `fallback` (already in
// range) when the text is not a number.
int32_t RangeValue(const std::wstring& text, Range range, int32_t fallback);
// Key 46 as applied: a value of at least 100 lowered to the screen bound, anything else 100.
int32_t PreviewSizeValue(const std::wstring& text, int32_t screenBound);

// The display gamma (key 49, gamma x 1000) as the edit shows it: three decimals below 10000, two
// below 100000, one below 1000000, none above.
std::wstring GammaText(int32_t key);
// The edit read as a decimal number ("2.2", ",5" is not one), x 1000, rounded half away from zero,
// and raised to at least 1. False for a text that is not a non-negative decimal number.
bool GammaKey(const std::wstring& text, int32_t* key);

// The four mouse choice lists (keys 158..161): item index <-> command, in the order 5210, 5212,
// 5211, 5030, 5239, 5231..5238. No selection (-1) counts as item 0; a command not in the list
// shows no selection.
constexpr int kMouseChoiceCount = 13;
int32_t CommandOfChoice(int index);
int ChoiceOfCommand(int32_t command);

// The scaling method of a choice index: 4 and above become 3; no selection keeps `current`.
int32_t ScalingMethodOfChoice(int index, int32_t current);
// Font height and weight of the radio choices (0..2 for -12, -14, -16; 0..1 for 400, 700) and back.
int32_t FontHeightOfChoice(int choice);
int FontHeightChoice(int32_t height);
int32_t FontWeightOfChoice(int choice);

// The file name of `path` without its extension: the name a chosen tool program gets when its name
// edit is empty.
std::wstring ToolNameFromPath(const std::wstring& path);

// Where the tool program chooser opens: the folder of the current path when it exists (the path
// itself when it is a folder), else the last tool folder of this dialog, else Program Files.
struct PathFacts {
    std::function<bool(const std::wstring&)> fileExists;   // a file (not a folder)
    std::function<bool(const std::wstring&)> folderExists;
};
std::wstring InitialToolFolder(const std::wstring& currentPath, const std::wstring& lastToolFolder,
                               const std::wstring& programFiles, const PathFacts& facts);

// One row of the plug-in list.
struct PluginRow {
    std::wstring fileName;
    std::wstring description1;
    std::wstring description2;
    bool checked = true;
};
// A file is checked unless its name is in the excluded list (ASCII case-insensitive).
bool IsExcluded(const std::wstring& fileName, const std::vector<std::wstring>& excluded);
// The excluded list (key 102): the names of the unchecked rows, in row order.
std::vector<std::wstring> ExcludedFromRows(const std::vector<PluginRow>& rows);

// Key 164 when the default-folder box is checked: the settings file's folder joined with "cache".
std::wstring DefaultCacheFolder(const std::wstring& settingsPath);

// Everything the dialog's controls hold, as text or choice where the control is an edit or a list.
struct OptionsValues {
    std::array<int, 4> mouseChoices = {0, 0, 0, 0}; // 1110..1113
    std::wstring threshold;                         // 1132
    bool pngGamma = true;                           // 1181
    bool pngFlatten = true;                         // 1182
    bool pngFileBackground = true;                  // 1183
    std::wstring gamma;                             // 1186
    uint32_t pngBackground = 0xFFFFFF;              // working colour of 1187
    bool exifOrientation = true;                    // 1190
    std::wstring viewerPath;                        // 1201
    bool closeViewer = false;                       // 1203
    bool cacheEnabled = true;                       // 1241
    bool pruneCache = true;                         // 1242
    std::wstring quality;                           // 1245
    bool cacheFolderIsDefault = true;               // 1251
    std::wstring cacheFolder;                       // 1252
    int scalingChoice = 3;                          // 1232
    bool thumbBorder = true;                        // 1261
    uint32_t activePaneColour = 0xE0FFC0;           // working colour of 1264
    std::wstring previewSize;                       // 1282
    std::array<settings::ExternalTool, 8> tools;    // 1320+i, 1360+i, 1330+i
    std::wstring pluginFolder;                      // 1411
    std::vector<PluginRow> plugins;                 // 1421, in row order
    bool sendTo = false;                            // 1461
    int page = 0;                                   // the page shown
    bool largeDialogFont = false;                   // 1452
    std::wstring language;                          // 1431
    std::wstring fontFace;                          // 1441
    int fontHeightChoice = 0;                       // 1443..1445
    int fontWeightChoice = 0;                       // 1447, 1448
};

// The settings the controls are filled from.
OptionsValues ValuesFromSettings(const settings::Settings& s, const std::wstring& cacheFolder);

// What the program outside the settings needs after an Apply.
struct OptionsContext {
    int32_t screenBound = 0;
    std::wstring settingsPath;
    std::wstring currentLanguage;   // the name of the module in use
    std::wstring currentCacheFolder; // the folder the program uses now
    bool sendToAtOpen = false;
    std::function<bool(const std::wstring&)> folderExists;
};
struct OptionsEffects {
    bool repaintActivePane = false; // key 31 changed
    bool pluginsChanged = false;    // key 60 or key 102 changed
    bool sendToChanged = false;     // create the shortcut when `values.sendTo`, else delete it
    bool cacheFolderChanged = false;
    std::wstring cacheFolder;       // the folder to use from now on
    bool languageOrFont = false;    // the module, face, height or weight differ
    std::wstring language;          // the module to load; empty when it stays
    // Edits whose text was not taken (an invalid gamma, a folder that does not exist): the dialog
    // shows the stored value again.
    bool gammaRejected = false;
    bool cacheFolderRejected = false;
    bool pluginFolderRejected = false;
};

// Writes every key the dialog edits, except the shortcuts, the font face, height and weight and
// the language name, which the caller stores when it switches (they must change together with the
// module and the fonts). Keys 13, 14, 171 and all the others it does not edit stay as they are.
OptionsEffects ApplyOptions(const OptionsValues& values, const OptionsContext& context, settings::Settings& s);

} // namespace options
