#include "fileops/external_commands.h"

#include "common/path.h"

namespace external {

namespace {

const wchar_t* SwitchText(ViewerSwitch which) {
    switch (which) {
    case ViewerSwitch::SlideShow: return L"/s";
    case ViewerSwitch::FullScreen: return L"/f";
    case ViewerSwitch::View: break;
    }
    return L"/v";
}

bool IsArchive(const PaneView& pane) { return location::IsArchiveKind(pane.kind); }

// Folders and shell folders hand over file paths; the recycle bin's items have no usable path.
bool HandsOverPaths(const PaneView& pane) { return !IsArchive(pane) && !pane.recycleBin; }

void AppendSelected(std::wstring& text, const PaneView& pane) {
    for (const PaneItem& item : pane.selected)
        AppendQuoted(text, item.path);
}

} // namespace

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

void AppendQuoted(std::wstring& text, const std::wstring& path) {
    if (!text.empty())
        text += L' ';
    text += Quoted(path);
}

std::wstring ViewerParameters(ViewerSwitch which, const PaneView& pane) {
    std::wstring text = SwitchText(which);
    if (pane.selected.empty() || !pane.hasFocus)
        return text;
    if (IsArchive(pane)) {
        text += L'z' + std::to_wstring(pane.focused.locator);
        AppendQuoted(text, pane.locationPath);
    } else if (HandsOverPaths(pane)) {
        if (which == ViewerSwitch::View)
            AppendSelected(text, pane);
        else
            AppendQuoted(text, pane.focused.path);
    }
    return text;
}

bool ReaderParameters(const PaneView& pane, std::wstring* text) {
    const PaneItem* item = pane.hasFocus ? &pane.focused : pane.hasFirst ? &pane.first : nullptr;
    if (!item)
        return false;
    if (IsArchive(pane)) {
        *text = L"/az" + std::to_wstring(item->locator);
        AppendQuoted(*text, pane.locationPath);
    } else if (pane.recycleBin) {
        text->clear();
    } else {
        *text = L"/a " + Quoted(item->path);
    }
    return true;
}

ToolKind ToolKindOf(const std::wstring& programPath) {
    const std::wstring name = paths::LastComponent(programPath);
    // The viewer is recognised with or without its extension, as its slot may name it either way.
    for (const wchar_t* viewer : {L"Drova", L"DrovaEx", L"Drova.exe", L"DrovaEx.exe"})
        if (paths::EqualFold(name, viewer))
            return ToolKind::Viewer;
    if (paths::EqualFold(name, L"Kelvarin.exe"))
        return ToolKind::Reader;
    return ToolKind::Other;
}

std::wstring ToolParameters(const std::wstring& programPath, const std::wstring& slotText, const PaneView& pane) {
    std::wstring text = slotText;
    if (pane.selected.empty())
        return text;
    if (!IsArchive(pane)) {
        if (HandsOverPaths(pane))
            AppendSelected(text, pane);
        return text;
    }
    // Without a focus the first selected member stands for the selection.
    const PaneItem& item = pane.hasFocus ? pane.focused : pane.selected.front();
    switch (ToolKindOf(programPath)) {
    case ToolKind::Viewer:
        if (text.empty())
            text = L"/v";
        text += L'z' + std::to_wstring(item.locator);
        break;
    case ToolKind::Reader:
        text = L"/z" + std::to_wstring(item.locator);
        break;
    case ToolKind::Other:
        break;
    }
    AppendQuoted(text, pane.locationPath);
    return text;
}

} // namespace external
