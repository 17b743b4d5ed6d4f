#include "tests/e2e/steps.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "common/path.h"
#include "common/platform.h"

namespace e2e {

namespace {

constexpr int kChooserTreeId = 14145;

// The screen colour at the centre of a window.
COLORREF CentrePixel(HWND hwnd) {
    const RECT r = ScreenRect(hwnd);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ReleaseDC(nullptr, screen);
    return c;
}

} // namespace

void PointerTo(POINT screen, DWORD buttons) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(screen.x * 65535LL / (GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = static_cast<LONG>(screen.y * 65535LL / (GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &in, sizeof in);
}

HWND OpenMenuWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM out) {
            if (IsWindowVisible(hwnd) && harness::WindowClassName(hwnd) == L"#32768") {
                *reinterpret_cast<HWND*>(out) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

namespace {

void SetShift(bool down) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_LSHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

} // namespace

SharedShift::SharedShift(HWND window) : other_(GetWindowThreadProcessId(window, nullptr)) {
    attached_ = AttachThreadInput(GetCurrentThreadId(), other_, TRUE) != FALSE;
    SetShift(true);
}

SharedShift::~SharedShift() {
    SetShift(false);
    if (attached_)
        AttachThreadInput(GetCurrentThreadId(), other_, FALSE);
}

size_t CountFilesBelow(const std::wstring& folder) {
    size_t n = 0;
    platform::ListFolder(folder, L"*", [&](const platform::FolderEntry& e) {
        n += (e.attributes & platform::attr::kDirectory) ? CountFilesBelow(paths::Join(folder, e.name)) : 1;
        return true;
    });
    return n;
}

std::vector<HWND> VisibleChildren(HWND top, const std::wstring& className) {
    std::vector<HWND> found;
    for (const harness::ChildInfo& c : harness::Children(top))
        if (c.className == className && c.visible)
            found.push_back(c.hwnd);
    return found;
}

bool CellsShowPictures(const std::vector<HWND>& cells, DWORD timeoutMs) {
    return harness::PumpUntil(
        [&] {
            for (HWND cell : cells) {
                const COLORREF c = CentrePixel(cell);
                if (c == 0xD4CCCCu || c == 0xA49C9Cu)
                    return false;
            }
            return true;
        },
        timeoutMs);
}

void StartWithTreeRoot(const QuorleCopy& copy, harness::Process& process, settings::Settings settings,
                       const std::wstring& root, HWND* main, HWND* tree) {
    settings.treeRoots = {{root, 1}};
    ASSERT_TRUE(copy.WriteSettings(settings));
    *main = copy.Start(process);
    ASSERT_NE(*main, nullptr);
    ASSERT_TRUE(harness::PumpUntil([&] { return (*tree = ChildById(*main, 402)) != nullptr; }, 10000));
    ASSERT_TRUE(harness::PumpUntil([&] { return SendMessageW(*tree, TVM_GETCOUNT, 0, 0) >= 2; }, 10000));
    harness::PumpFor(1500);
}

HTREEITEM RootFolderChild(HWND tree, RemoteBuffer& remote, const std::wstring& name) {
    HTREEITEM item = nullptr;
    harness::PumpUntil(
        [&] {
            HTREEITEM roots = NextItem(tree, NextItem(tree, nullptr, TVGN_ROOT), TVGN_NEXT);
            return (item = ChildNamed(tree, remote, NextItem(tree, roots, TVGN_CHILD), name)) != nullptr;
        },
        10000);
    return item;
}

void TreeMenuCommand(HWND main, HWND tree, DWORD pid, RemoteBuffer& remote, HTREEITEM item, wchar_t mnemonic) {
    SetForegroundWindow(main);
    const RECT r = remote.ItemRect(tree, item, true);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(tree, WM_RBUTTONUP, 0, at);
    HWND menu = harness::FindTopWindow(L"#32768", 5000, pid);
    ASSERT_NE(menu, nullptr) << "no tree menu";
    harness::PumpFor(300);
    PostMessageW(menu, WM_CHAR, mnemonic, 1);
}

void AcceptFolderChooser(DWORD pid, const std::wstring& folder, const wchar_t* shot) {
    HWND chooser = harness::FindShownDialog(10000, pid);
    ASSERT_NE(chooser, nullptr) << "no folder chooser";
    HWND tree = ChildById(chooser, kChooserTreeId);
    ASSERT_NE(tree, nullptr);
    RemoteBuffer remote(tree);
    const std::wstring expected = paths::LastComponent(folder);
    auto settled = [&] {
        HTREEITEM caret = NextItem(tree, nullptr, TVGN_CARET);
        return caret && remote.ItemText(tree, caret) == expected;
    };
    if (!harness::PumpUntil(settled, 8000)) {
        std::wstring path = folder;
        RemoteSend(chooser, BFFM_SETSELECTIONW, TRUE, &path[0], (path.size() + 1) * sizeof(wchar_t));
        ASSERT_TRUE(harness::PumpUntil(settled, 10000))
            << "the chooser did not open at the folder: "
            << platform::WideToUtf8(harness::SaveNamedScreenshot(L"folder_chooser_unsettled"));
    }
    if (shot) {
        EXPECT_FALSE(harness::SaveNamedScreenshot(shot).empty());
    }
    harness::PumpFor(500);
    PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(harness::PumpUntil([&] { return !IsWindow(chooser); }, 10000));
}

} // namespace e2e
