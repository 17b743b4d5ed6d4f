#include "ui/options_rules.h"

#include <limits>

#include "common/path.h"

namespace options {

bool ParseInteger(const std::wstring& text, int32_t* value) {
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == L'-';
    if (negative)
        ++at;
    if (at == text.size())
        return false;
    int64_t v = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < L'0' || text[at] > L'9')
            return false;
        v = v * 10 + (text[at] - L'0');
        if (v > std::numeric_limits<int32_t>::max())
            return false;
    }
    *value = static_cast<int32_t>(negative ? -v : v);
    return true;
}

int32_t Clamp(int32_t value, Range range) {
    if (value < range.low)
        return range.low;
    if (value > range.high)
        return range.high;
    return value;
}

int32_t RangeValue(const std::wstring& text, Range range, int32_t fallback) {
    int32_t v = 0;
    return ParseInteger(text, &v) ? Clamp(v, range) : Clamp(fallback, range);
}

int32_t PreviewSizeValue(const std::wstring& text, int32_t screenBound) {
    int32_t v = 0;
    if (!ParseInteger(text, &v) || v < kMinPreviewSize)
        return kMinPreviewSize;
    return v > screenBound ? screenBound : v;
}

std::wstring GammaText(int32_t key) {
    if (key < 0)
        key = 0;
    int decimals = key < 10000 ? 3 : key < 100000 ? 2 : key < 1000000 ? 1 : 0;
    // Rounded half away from zero to the decimals shown.
    int64_t divisor = 1;
    for (int i = decimals; i < 3; ++i)
        divisor *= 10;
    const int64_t scaled = (static_cast<int64_t>(key) + divisor / 2) / divisor;
    int64_t unit = 1;
    for (int i = 0; i < decimals; ++i)
        unit *= 10;
    std::wstring text = std::to_wstring(scaled / unit);
    if (decimals) {
        std::wstring fraction = std::to_wstring(scaled % unit);
        text += L'.';
        text.append(static_cast<size_t>(decimals) - fraction.size(), L'0');
        text += fraction;
    }
    return text;
}

bool GammaKey(const std::wstring& text, int32_t* key) {
    int64_t whole = 0;
    size_t at = 0, wholeDigits = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at, ++wholeDigits) {
        whole = whole * 10 + (text[at] - L'0');
        if (whole > std::numeric_limits<int32_t>::max() / 1000)
            return false;
    }
    // Thousandths and the digit that decides the rounding; later digits cannot change it.
    int64_t thousandths = 0;
    int roundDigit = 0;
    size_t fractionDigits = 0;
    if (at < text.size() && text[at] == L'.') {
        for (++at; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at, ++fractionDigits) {
            if (fractionDigits < 3)
                thousandths = thousandths * 10 + (text[at] - L'0');
            else if (fractionDigits == 3)
                roundDigit = text[at] - L'0';
        }
    }
    if (at != text.size() || wholeDigits + fractionDigits == 0)
        return false;
    for (size_t i = fractionDigits; i < 3; ++i)
        thousandths *= 10;
    int64_t v = whole * 1000 + thousandths + (roundDigit >= 5 ? 1 : 0);
    if (v > std::numeric_limits<int32_t>::max())
        return false;
    *key = v < 1 ? 1 : static_cast<int32_t>(v);
    return true;
}

int32_t CommandOfChoice(int index) {
    return settings::LegacyMouseCommand(static_cast<uint32_t>(index < 0 ? 0 : index));
}

int ChoiceOfCommand(int32_t command) {
    for (int i = 0; i < kMouseChoiceCount; ++i)
        if (command != 0 && CommandOfChoice(i) == command)
            return i;
    return -1;
}

int32_t ScalingMethodOfChoice(int index, int32_t current) {
    if (index < 0)
        return current > 3 ? 3 : current;
    return index > 3 ? 3 : index;
}

int32_t FontHeightOfChoice(int choice) { return choice == 0 ? -12 : choice == 1 ? -14 : -16; }

int FontHeightChoice(int32_t height) { return height == -16 ? 2 : height == -14 ? 1 : 0; }

int32_t FontWeightOfChoice(int choice) { return choice == 0 ? 400 : 700; }

std::wstring ToolNameFromPath(const std::wstring& path) {
    std::wstring name = paths::LastComponent(path);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::wstring InitialToolFolder(const std::wstring& currentPath, const std::wstring& lastToolFolder,
                               const std::wstring& programFiles, const PathFacts& facts) {
    if (!currentPath.empty()) {
        if (facts.folderExists(currentPath))
            return currentPath;
        if (facts.fileExists(currentPath)) {
            const std::wstring parent = paths::Parent(currentPath);
            // "C:\x.exe" has the drive root as its folder.
            return parent.size() == 2 && parent[1] == L':' ? parent + L'\\' : parent;
        }
    }
    if (!lastToolFolder.empty())
        return lastToolFolder;
    return programFiles;
}

bool IsExcluded(const std::wstring& fileName, const std::vector<std::wstring>& excluded) {
    for (const std::wstring& name : excluded)
        if (paths::EqualFold(name, fileName))
            return true;
    return false;
}

std::vector<std::wstring> ExcludedFromRows(const std::vector<PluginRow>& rows) {
    std::vector<std::wstring> excluded;
    for (const PluginRow& row : rows)
        if (!row.checked)
            excluded.push_back(row.fileName);
    return excluded;
}

std::wstring DefaultCacheFolder(const std::wstring& settingsPath) {
    return paths::Join(paths::Parent(settingsPath), L"cache");
}

OptionsValues ValuesFromSettings(const settings::Settings& s, const std::wstring& cacheFolder) {
    OptionsValues v;
    v.mouseChoices = {ChoiceOfCommand(s.captionDoubleClick), ChoiceOfCommand(s.captionBothButtons),
                      ChoiceOfCommand(s.previewClick), ChoiceOfCommand(s.previewBothButtons)};
    v.threshold = std::to_wstring(s.gestureThreshold);
    v.pngGamma = s.pngGamma;
    v.pngFlatten = s.pngFlatten;
    v.pngFileBackground = s.pngFileBackground;
    v.gamma = GammaText(s.pngDisplayGamma);
    v.pngBackground = s.pngBackground;
    v.exifOrientation = s.exifOrientation;
    v.viewerPath = s.viewerPath;
    v.closeViewer = s.closeViewerOnExit;
    v.cacheEnabled = s.cacheEnabled;
    v.pruneCache = s.pruneCacheOnExit;
    v.quality = std::to_wstring(s.cacheJpegQuality);
    v.cacheFolderIsDefault = s.cacheFolderIsDefault;
    v.cacheFolder = s.cacheFolderIsDefault ? cacheFolder : s.cacheFolder;
    v.scalingChoice = s.scalingMethod > 3 ? 3 : s.scalingMethod;
    v.thumbBorder = s.thumbBorder;
    v.activePaneColour = s.activePaneColour;
    v.previewSize = std::to_wstring(s.previewSize);
    v.tools = s.tools;
    v.pluginFolder = s.pluginFolder;
    v.page = s.optionsPage;
    v.largeDialogFont = s.largeDialogFont;
    v.language = s.languageModule;
    v.fontFace = s.fontFace;
    v.fontHeightChoice = FontHeightChoice(s.fontHeight);
    v.fontWeightChoice = s.fontWeight == 700 ? 1 : 0;
    return v;
}

OptionsEffects ApplyOptions(const OptionsValues& v, const OptionsContext& c, settings::Settings& s) {
    OptionsEffects e;
    // 1. Mouse commands and the gesture threshold.
    s.captionDoubleClick = CommandOfChoice(v.mouseChoices[0]);
    s.captionBothButtons = CommandOfChoice(v.mouseChoices[1]);
    s.previewClick = CommandOfChoice(v.mouseChoices[2]);
    s.previewBothButtons = CommandOfChoice(v.mouseChoices[3]);
    s.gestureThreshold = RangeValue(v.threshold, kThresholdRange, s.gestureThreshold);
    // 3. Pictures and the companion viewer.
    s.pngGamma = v.pngGamma;
    s.pngFlatten = v.pngFlatten;
    s.pngFileBackground = v.pngFileBackground;
    s.pngBackground = v.pngBackground;
    int32_t gammaKey = 0;
    if (GammaKey(v.gamma, &gammaKey))
        s.pngDisplayGamma = gammaKey;
    else
        e.gammaRejected = true;
    s.exifOrientation = v.exifOrientation;
    s.closeViewerOnExit = v.closeViewer;
    s.viewerPath = v.viewerPath;
    // 4, 5. The cache.
    s.cacheEnabled = v.cacheEnabled;
    s.pruneCacheOnExit = v.pruneCache;
    s.cacheJpegQuality = RangeValue(v.quality, kQualityRange, s.cacheJpegQuality);
    std::wstring cacheFolder = c.currentCacheFolder;
    if (v.cacheFolderIsDefault) {
        s.cacheFolderIsDefault = true;
        s.cacheFolder = cacheFolder = DefaultCacheFolder(c.settingsPath);
    } else if (!v.cacheFolder.empty() && c.folderExists(v.cacheFolder)) {
        s.cacheFolderIsDefault = false;
        s.cacheFolder = cacheFolder = v.cacheFolder;
    } else {
        e.cacheFolderRejected = true;
    }
    if (!paths::EqualFold(cacheFolder, c.currentCacheFolder)) {
        e.cacheFolderChanged = true;
        e.cacheFolder = cacheFolder;
    }
    // 6, 7, 8. Preview size, colours, cell border and scaling.
    s.previewSize = PreviewSizeValue(v.previewSize, c.screenBound);
    if (s.activePaneColour != v.activePaneColour) {
        s.activePaneColour = v.activePaneColour;
        e.repaintActivePane = true;
    }
    s.thumbBorder = v.thumbBorder;
    s.scalingMethod = ScalingMethodOfChoice(v.scalingChoice, s.scalingMethod);
    // 9. Tools.
    s.tools = v.tools;
    // 10. Plug-ins.
    std::wstring pluginFolder = s.pluginFolder;
    if (v.pluginFolder.empty() || c.folderExists(v.pluginFolder))
        pluginFolder = v.pluginFolder;
    else
        e.pluginFolderRejected = true;
    // Rows listed from a folder that was not taken say nothing about the kept folder's plug-ins.
    const std::vector<std::wstring> excluded =
        e.pluginFolderRejected ? s.plugins : ExcludedFromRows(v.plugins);
    e.pluginsChanged = pluginFolder != s.pluginFolder || excluded != s.plugins;
    s.pluginFolder = pluginFolder;
    s.plugins = excluded;
    // 11. Send To.
    e.sendToChanged = v.sendTo != c.sendToAtOpen;
    // 12. Page and dialog font.
    s.optionsPage = v.page >= 0 && v.page < kPageCount ? v.page : 0;
    s.largeDialogFont = v.largeDialogFont;
    // 13. Language and font: stored by the switch itself.
    if (!v.language.empty() && !paths::EqualFold(v.language, c.currentLanguage))
        e.language = v.language;
    const bool faceChanged = !v.fontFace.empty() && !paths::EqualFold(v.fontFace, s.fontFace);
    e.languageOrFont = !e.language.empty() || faceChanged || FontHeightOfChoice(v.fontHeightChoice) != s.fontHeight ||
                       FontWeightOfChoice(v.fontWeightChoice) != s.fontWeight;
    return e;
}

} // namespace options
