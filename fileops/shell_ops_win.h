// The shell's file-operation engine as the program uses it: the double-terminated path lists, the
// flag sets of each use, and the guard that keeps tree operations away from protected folders.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace fileops {

// Flag sets handed to SHFileOperationW.
constexpr FILEOP_FLAGS kDeleteFlags =
    FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NO_CONNECTED_ELEMENTS | FOF_WANTNUKEWARNING; // 0x6050
constexpr FILEOP_FLAGS kReplaceDeleteFlags =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI | FOF_NO_CONNECTED_ELEMENTS; // 0x2454
constexpr FILEOP_FLAGS kRenameFlags = FOF_NO_CONNECTED_ELEMENTS;                           // 0x2000
constexpr FILEOP_FLAGS kCopyFlags = FOF_NOCOPYSECURITYATTRIBS | FOF_NO_CONNECTED_ELEMENTS; // 0x2800
constexpr FILEOP_FLAGS kMoveFlags = FOF_NOCOPYSECURITYATTRIBS | FOF_NO_CONNECTED_ELEMENTS; // 0x2800

// Full paths joined by one zero character, the whole ended by a second one.
std::wstring DoubleTerminatedList(const std::vector<std::wstring>& paths);

struct ShellOperation {
    UINT operation = FO_DELETE;                  // FO_COPY, FO_MOVE, FO_DELETE or FO_RENAME
    std::vector<std::wstring> sources;           // at least one
    std::vector<std::wstring> targets;           // none (delete), one folder or name, or one per source
    FILEOP_FLAGS flags = 0;                      // FOF_MULTIDESTFILES is added for several targets
    std::wstring progressTitle;                  // empty: none
};

// Runs the operation with `owner` as the parent of the shell's dialogs. True only when the shell
// reported success and the user did not abort part of it.
bool RunShellOperation(HWND owner, const ShellOperation& op);

// Whether a tree item's path may be renamed, deleted or dragged away: it exists, and is neither a
// drive root, nor a system folder, nor the user's desktop folder.
bool PassesTreeGuard(const std::wstring& path);

} // namespace fileops
