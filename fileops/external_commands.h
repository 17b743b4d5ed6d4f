// The parameter texts handed to the companion viewer and the external programs, built from what the
// active pane shows. Pure functions: the launching is in external_programs_win.*.
//
// A path argument is a double quote, the path, a double quote. Arguments are separated by one space,
// and a space goes before an argument only when the text so far is not empty. Names cannot hold a
// double quote, so paths need no escaping; everything else (spaces, "%", "&", non-ASCII) is passed
// as it is and the receiving program sees it unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/location.h"

namespace external {

// One item of the pane: its full path (folders, shell folders) or its member locator (archives).
struct PaneItem {
    std::wstring path;
    uint32_t locator = 0;
};

// What a command reads from the active pane.
struct PaneView {
    location::LocationKind kind = location::kFileSystemFolder;
    bool recycleBin = false;
    std::wstring locationPath;        // folder or archive file
    std::vector<PaneItem> selected;   // in pane order
    bool hasFocus = false;            // the focused item is a valid index
    PaneItem focused;
    bool hasFirst = false;            // the pane has at least one item
    PaneItem first;
};

enum class ViewerSwitch { View, SlideShow, FullScreen };

std::wstring Quoted(const std::wstring& path);
// Appends a quoted path, with a space first when `text` is not empty.
void AppendQuoted(std::wstring& text, const std::wstring& path);

// Commands 5210..5212: "/v", "/s" or "/f" and the pane's files.
std::wstring ViewerParameters(ViewerSwitch which, const PaneView& pane);
// Command 5213; false when the pane has no item to hand over.
bool ReaderParameters(const PaneView& pane, std::wstring* text);

// How an external-program slot treats an archive member, by the program's file name.
enum class ToolKind { Other, Viewer, Reader };
ToolKind ToolKindOf(const std::wstring& programPath);

// Commands 5231..5238 for a program that is an executable (others get no parameters at all).
std::wstring ToolParameters(const std::wstring& programPath, const std::wstring& slotText, const PaneView& pane);

} // namespace external
