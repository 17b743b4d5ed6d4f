#include "app/settings.h"

#include <algorithm>

#include "common/path.h"
#include "common/platform.h"

namespace settings {

namespace {

// Keys whose value is one field read and written the same way. Defaults are the field's initial
// value in Settings; ranges are applied afterwards by ApplyRanges.
enum class FieldType : uint8_t { Number, Colour, Flag, Text };

struct Field {
    uint8_t key;
    FieldType type;
    int32_t Settings::*number;
    uint32_t Settings::*colour;
    bool Settings::*flag;
    std::wstring Settings::*text;
};

constexpr Field Number(uint8_t key, int32_t Settings::*m) { return {key, FieldType::Number, m, nullptr, nullptr, nullptr}; }
constexpr Field Colour(uint8_t key, uint32_t Settings::*m) { return {key, FieldType::Colour, nullptr, m, nullptr, nullptr}; }
constexpr Field Flag(uint8_t key, bool Settings::*m) { return {key, FieldType::Flag, nullptr, nullptr, m, nullptr}; }
constexpr Field Text(uint8_t key, std::wstring Settings::*m) { return {key, FieldType::Text, nullptr, nullptr, nullptr, m}; }

constexpr Field kFields[] = {
    Text(0, &Settings::languageModule),
    Flag(1, &Settings::windowMaximised),
    Number(2, &Settings::windowLeft),
    Number(3, &Settings::windowTop),
    Number(4, &Settings::windowWidth),
    Number(5, &Settings::windowHeight),
    Number(6, &Settings::hiddenAttributeMask),
    Flag(7, &Settings::treeShowsArchives),
    Number(8, &Settings::treeWidth),
    Flag(9, &Settings::treeHidden),
    Number(13, &Settings::thumbWidth),
    Number(14, &Settings::thumbHeight),
    Colour(31, &Settings::activePaneColour),
    Number(36, &Settings::paneLayout),
    Flag(37, &Settings::clickOpensPreview),
    Flag(38, &Settings::showCaptions),
    Flag(39, &Settings::captionName),
    Flag(40, &Settings::captionSize),
    Flag(41, &Settings::captionBitDepth),
    Flag(42, &Settings::captionDate),
    Flag(43, &Settings::treeOption43),
    Flag(44, &Settings::cacheEnabled),
    Flag(45, &Settings::pruneCacheOnExit),
    Number(46, &Settings::previewSize),
    Number(47, &Settings::optionsPage),
    Flag(48, &Settings::pngGamma),
    Number(49, &Settings::pngDisplayGamma),
    Flag(50, &Settings::pngFlatten),
    Flag(51, &Settings::pngFileBackground),
    Colour(52, &Settings::pngBackground),
    Number(54, &Settings::printColumns),
    Flag(55, &Settings::closeViewerOnExit),
    Number(56, &Settings::fontHeight),
    Number(57, &Settings::fontWeight),
    Text(59, &Settings::viewerPath),
    Text(60, &Settings::pluginFolder),
    Flag(103, &Settings::exifOrientation),
    Flag(106, &Settings::treeOption106),
    Number(158, &Settings::captionDoubleClick),
    Number(159, &Settings::captionBothButtons),
    Number(160, &Settings::previewClick),
    Number(161, &Settings::previewBothButtons),
    Number(162, &Settings::gestureThreshold),
    Flag(163, &Settings::shortcutDialogMouseMode),
    Text(164, &Settings::cacheFolder),
    Number(165, &Settings::cacheJpegQuality),
    Flag(166, &Settings::thumbBorder),
    Flag(167, &Settings::cacheFolderIsDefault),
    Number(168, &Settings::scalingMethod),
    Text(169, &Settings::fontFace),
    Flag(170, &Settings::largeDialogFont),
};

// Keys of the grouped values.
constexpr int kPresetWidthKey = 15;
constexpr int kPresetHeightKey = 23;
constexpr int kAcceleratorKey = 58;
constexpr int kToolPathKey = 61;
constexpr int kToolNameKey = 69;
constexpr int kToolParametersKey = 77;
constexpr int kFavouriteNameKey = 85;
constexpr int kTreeRootsKey = 101;
constexpr int kPluginsKey = 102;
constexpr int kTreeRootFlagsKey = 104;
constexpr int kExifItemsKey = 105;
constexpr int kFavouriteKindKey = 107;
constexpr int kFavouriteIdListKey = 123;
constexpr int kPrintMarginKey = 139;
constexpr int kMouseKey = 143;
constexpr int kOptionBlockKey = 171;
constexpr size_t kAcceleratorEntrySize = 6;

constexpr int32_t kMinThumbSide = 32;
constexpr int32_t kMaxThumbSide = 800;
constexpr int32_t kMinPreviewSize = 100;

const Field* FindField(int key) {
    for (const Field& f : kFields)
        if (f.key == key)
            return &f;
    return nullptr;
}

bool InRange(int key, int first, size_t count) {
    return key >= first && key < first + static_cast<int>(count);
}

void LoadField(const SettingsReader& r, const Field& f, Settings& s) {
    switch (f.type) {
    case FieldType::Number:
        s.*f.number = static_cast<int32_t>(r.ReadInline(f.key, static_cast<uint32_t>(s.*f.number)));
        break;
    case FieldType::Colour:
        s.*f.colour = r.ReadInline(f.key, s.*f.colour);
        break;
    case FieldType::Flag:
        s.*f.flag = (r.ReadInline(f.key, s.*f.flag ? 1 : 0) & 1) != 0;
        break;
    case FieldType::Text:
        r.ReadString(f.key, s.*f.text);
        break;
    }
}

void SaveField(SettingsWriter& w, const Field& f, const Settings& s) {
    switch (f.type) {
    case FieldType::Number:
        w.WriteInline(f.key, static_cast<uint32_t>(s.*f.number));
        break;
    case FieldType::Colour:
        w.WriteInline(f.key, s.*f.colour);
        break;
    case FieldType::Flag:
        w.WriteInline(f.key, s.*f.flag ? 1 : 0);
        break;
    case FieldType::Text:
        w.WriteString(f.key, s.*f.text);
        break;
    }
}

// The whole block of `key` when it is 1..maxBytes long and reads in full; otherwise empty.
std::vector<uint8_t> ReadWholeBlock(const SettingsReader& r, int key, size_t maxBytes) {
    std::vector<uint8_t> bytes;
    uint32_t length = r.ReadBlock(key, nullptr, 0);
    if (length == 0 || length > maxBytes)
        return bytes;
    bytes.resize(length);
    if (r.ReadBlock(key, bytes.data(), bytes.size()) != length)
        bytes.clear();
    return bytes;
}

int32_t ClampThumbSide(int32_t v) {
    return std::min(std::max(v, kMinThumbSide), kMaxThumbSide);
}

void LoadPresets(const SettingsReader& r, Settings& s) {
    for (size_t i = 0; i < s.sizePresets.size(); ++i) {
        int key = static_cast<int>(i);
        int32_t w = static_cast<int32_t>(r.ReadInline(kPresetWidthKey + key, 0));
        int32_t h = static_cast<int32_t>(r.ReadInline(kPresetHeightKey + key, 0));
        // A half-defined preset would show as a size nobody chose.
        if (w == 0 || h == 0)
            s.sizePresets[i] = {};
        else
            s.sizePresets[i] = {ClampThumbSide(w), ClampThumbSide(h)};
    }
}

void LoadFavourites(const SettingsReader& r, Settings& s) {
    s.favourites.clear();
    for (int i = 0; i < static_cast<int>(kMaxFavourites); ++i) {
        Favourite f;
        r.ReadString(kFavouriteNameKey + i, f.name);
        if (f.name.empty())
            break;
        // Kept as stored: a kind this program does not know is refused when the favourite is opened.
        f.kind = static_cast<location::LocationKind>(static_cast<int32_t>(r.ReadInline(kFavouriteKindKey + i, 0)));
        f.idList = ReadWholeBlock(r, kFavouriteIdListKey + i, UINT32_MAX);
        s.favourites.push_back(std::move(f));
    }
}

void LoadTreeRoots(const SettingsReader& r, const SettingsEnvironment& env, Settings& s) {
    s.treeRoots.clear();
    if (!r.Loaded()) {
        if (!env.picturesFolder.empty())
            s.treeRoots.push_back({env.picturesFolder, 0});
        return;
    }
    std::vector<std::wstring> paths = r.ReadStringList(kTreeRootsKey);
    // The flags are only trusted when they are no longer than the path list's own block; roots
    // beyond the stored flags get 0.
    std::vector<uint8_t> flags = ReadWholeBlock(r, kTreeRootFlagsKey, r.ReadBlock(kTreeRootsKey, nullptr, 0));
    for (size_t i = 0; i < paths.size(); ++i)
        s.treeRoots.push_back({std::move(paths[i]), i < flags.size() ? flags[i] : uint8_t(0)});
}

void LoadMouseCommands(const SettingsReader& r, Settings& s) {
    for (size_t i = 0; i < s.mouseCommands.size(); ++i)
        s.mouseCommands[i] =
            static_cast<int32_t>(r.ReadInline(kMouseKey + static_cast<int>(i), static_cast<uint32_t>(s.mouseCommands[i])));
    if (r.FormatVersion() >= kLegacyMouseVersion)
        return;
    // Older files kept choice codes in keys 32..35 instead of commands in 143, 144 and 158..161.
    s.captionDoubleClick = LegacyMouseCommand(r.ReadInline(33, 3));
    s.captionBothButtons = LegacyMouseCommand(r.ReadInline(35, 2));
    s.previewClick = s.mouseCommands[0] = LegacyMouseCommand(r.ReadInline(32, 1));
    s.previewBothButtons = s.mouseCommands[1] = LegacyMouseCommand(r.ReadInline(34, 2));
}

void ApplyRanges(const SettingsEnvironment& env, Settings& s) {
    s.thumbWidth = ClampThumbSide(s.thumbWidth);
    s.thumbHeight = ClampThumbSide(s.thumbHeight);
    // The upper bound first, so that a screen bound below 100 still leaves a usable preview.
    s.previewSize = std::max(std::min(s.previewSize, env.screenBound), kMinPreviewSize);
    if (s.optionsPage < 0 || s.optionsPage > 5)
        s.optionsPage = 0;
    s.printColumns = std::min(std::max(s.printColumns, 2), 12);
    if (s.fontHeight != -12 && s.fontHeight != -14 && s.fontHeight != -16)
        s.fontHeight = -12;
    if (s.fontWeight != 400 && s.fontWeight != 700)
        s.fontWeight = 400;
    if (static_cast<uint32_t>(s.scalingMethod) > 3)
        s.scalingMethod = 3;
    if (s.fontFace.empty())
        s.fontFace = env.menuFontFace;
    if (!platform::FileExists(s.viewerPath))
        s.viewerPath = paths::Join(env.programFolder, L"Drova\\Drova.exe");
    s.activePane = s.paneLayout == 1 ? 1 : 0;
}

void WriteEmpty(SettingsWriter& w, int key) {
    w.WriteBlock(key, nullptr, 0);
}

void SaveKey(SettingsWriter& w, const Settings& s, int key) {
    if (const Field* f = FindField(key)) {
        SaveField(w, *f, s);
        return;
    }
    size_t favourites = std::min(s.favourites.size(), kMaxFavourites);
    if (InRange(key, kPresetWidthKey, s.sizePresets.size())) {
        w.WriteInline(key, static_cast<uint32_t>(s.sizePresets[size_t(key - kPresetWidthKey)].width));
    } else if (InRange(key, kPresetHeightKey, s.sizePresets.size())) {
        w.WriteInline(key, static_cast<uint32_t>(s.sizePresets[size_t(key - kPresetHeightKey)].height));
    } else if (key == kAcceleratorKey && s.noShortcuts) {
        w.WriteInline(key, 0);
    } else if (key == kAcceleratorKey) {
        size_t length = std::min(s.accelerators.size() / kAcceleratorEntrySize * kAcceleratorEntrySize,
                                 kMaxAcceleratorBytes);
        w.WriteBlock(key, s.accelerators.data(), length);
    } else if (InRange(key, kToolPathKey, s.tools.size())) {
        w.WriteString(key, s.tools[size_t(key - kToolPathKey)].path);
    } else if (InRange(key, kToolNameKey, s.tools.size())) {
        w.WriteString(key, s.tools[size_t(key - kToolNameKey)].name);
    } else if (InRange(key, kToolParametersKey, s.tools.size())) {
        w.WriteString(key, s.tools[size_t(key - kToolParametersKey)].parameters);
    } else if (InRange(key, kFavouriteKindKey, kMaxFavourites)) {
        // Slots past the end are cleared so that a shortened list does not bring back old entries.
        size_t i = size_t(key - kFavouriteKindKey);
        if (i < favourites)
            w.WriteInline(key, static_cast<uint32_t>(s.favourites[i].kind));
        else
            WriteEmpty(w, key);
    } else if (InRange(key, kFavouriteIdListKey, kMaxFavourites)) {
        size_t i = size_t(key - kFavouriteIdListKey);
        if (i < favourites)
            w.WriteBlock(key, s.favourites[i].idList.data(), s.favourites[i].idList.size());
        else
            WriteEmpty(w, key);
    } else if (InRange(key, kFavouriteNameKey, kMaxFavourites)) {
        size_t i = size_t(key - kFavouriteNameKey);
        if (i < favourites)
            w.WriteString(key, s.favourites[i].name);
        else
            WriteEmpty(w, key);
    } else if (key == kTreeRootsKey) {
        std::vector<std::wstring> paths;
        for (const TreeRoot& root : s.treeRoots)
            paths.push_back(root.path);
        w.WriteStringList(key, paths);
    } else if (key == kTreeRootFlagsKey) {
        std::vector<uint8_t> flags;
        for (const TreeRoot& root : s.treeRoots)
            flags.push_back(root.flags);
        w.WriteBlock(key, flags.data(), flags.size());
    } else if (key == kPluginsKey) {
        // Names of plug-ins that have gone from the folder are dropped here.
        std::vector<std::wstring> present;
        for (const std::wstring& name : s.plugins)
            if (!name.empty() && platform::FileExists(paths::Join(s.pluginFolder, name)))
                present.push_back(name);
        w.WriteStringList(key, present);
    } else if (key == kExifItemsKey) {
        w.WriteBlock(key, s.exifItemFlags.data(), s.exifItemFlags.size());
    } else if (key == kOptionBlockKey) {
        w.WriteBlock(key, s.optionBlock.data(), s.optionBlock.size());
    } else if (InRange(key, kPrintMarginKey, s.printMargins.size())) {
        w.WriteInline(key, static_cast<uint32_t>(s.printMargins[size_t(key - kPrintMarginKey)]));
    } else if (InRange(key, kMouseKey, s.mouseCommands.size())) {
        w.WriteInline(key, static_cast<uint32_t>(s.mouseCommands[size_t(key - kMouseKey)]));
    }
}

std::vector<uint8_t> BuildSaveOrder() {
    std::vector<uint8_t> order;
    auto add = [&order](std::initializer_list<int> keys) {
        for (int k : keys)
            order.push_back(static_cast<uint8_t>(k));
    };
    auto addRange = [&order](int first, int last) {
        for (int k = first; k <= last; ++k)
            order.push_back(static_cast<uint8_t>(k));
    };
    add({0, 58});
    addRange(1, 5);
    add({167, 164, 165, 166, 168, 143, 144});
    addRange(145, 157);
    addRange(158, 161);
    add({162, 8, 9, 6, 7});
    for (int i = 0; i < 8; ++i)
        add({kPresetWidthKey + i, kPresetHeightKey + i});
    add({13, 14, 31, 36, 37, 38});
    addRange(39, 42);
    add({43, 106, 44, 45, 46, 47, 163});
    addRange(48, 52);
    add({103, 169, 56, 57, 170, 55, 59, 54, 105, 171, 60, 102});
    for (int i = 0; i < 8; ++i)
        add({kToolPathKey + i, kToolNameKey + i, kToolParametersKey + i});
    for (int i = 0; i < static_cast<int>(kMaxFavourites); ++i)
        add({kFavouriteKindKey + i, kFavouriteIdListKey + i, kFavouriteNameKey + i});
    add({101, 104});
    addRange(139, 142);
    return order;
}

} // namespace

int32_t LegacyMouseCommand(uint32_t code) {
    static constexpr int32_t kCommands[] = {5210, 5212, 5211, 5030, 5239, 5231, 5232,
                                            5233, 5234, 5235, 5236, 5237, 5238};
    return code < sizeof kCommands / sizeof kCommands[0] ? kCommands[code] : 0;
}

Settings LoadSettings(const SettingsReader& reader, const SettingsEnvironment& env) {
    Settings s;
    s.previewSize = env.screenBound;
    for (const Field& f : kFields)
        LoadField(reader, f, s);
    LoadPresets(reader, s);

    // The block must hold whole entries; a stray tail byte could not be an accelerator.
    s.accelerators = ReadWholeBlock(reader, kAcceleratorKey, kMaxAcceleratorBytes);
    s.accelerators.resize(s.accelerators.size() / kAcceleratorEntrySize * kAcceleratorEntrySize);
    // An inline entry answers the same whatever the fallback; an absent one does not.
    s.noShortcuts = reader.ReadInline(kAcceleratorKey, 1) == 0 && reader.ReadInline(kAcceleratorKey, 0) == 0;

    for (size_t i = 0; i < s.tools.size(); ++i) {
        int k = static_cast<int>(i);
        reader.ReadString(kToolPathKey + k, s.tools[i].path);
        reader.ReadString(kToolNameKey + k, s.tools[i].name);
        reader.ReadString(kToolParametersKey + k, s.tools[i].parameters);
    }
    LoadFavourites(reader, s);
    LoadTreeRoots(reader, env, s);
    s.plugins = reader.ReadStringList(kPluginsKey);
    // A first start uses the plug-ins that come with the program; a settings file keeps the user's
    // choice, an empty one included.
    if (!reader.Loaded() && !env.programFolder.empty()) {
        const std::wstring bundled = paths::Join(env.programFolder, L"plugins");
        if (platform::FolderExists(bundled))
            s.pluginFolder = bundled + L'\\';
    }

    // A shorter Exif block keeps the items it names and shows the rest.
    std::vector<uint8_t> exif = ReadWholeBlock(reader, kExifItemsKey, kExifItemCount);
    std::copy(exif.begin(), exif.end(), s.exifItemFlags.begin());
    std::vector<uint8_t> options = ReadWholeBlock(reader, kOptionBlockKey, kOptionBlockSize);
    std::copy(options.begin(), options.end(), s.optionBlock.begin());

    for (size_t i = 0; i < s.printMargins.size(); ++i)
        s.printMargins[i] = static_cast<int32_t>(reader.ReadInline(kPrintMarginKey + static_cast<int>(i), 0));
    LoadMouseCommands(reader, s);
    ApplyRanges(env, s);
    return s;
}

void SaveSettings(SettingsWriter& writer, const Settings& settings) {
    if (!writer.IsOpen())
        return;
    for (uint8_t key : SaveOrder())
        SaveKey(writer, settings, key);
}

const std::vector<uint8_t>& SaveOrder() {
    static const std::vector<uint8_t> order = BuildSaveOrder();
    return order;
}

} // namespace settings
