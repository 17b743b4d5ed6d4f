// Steps several end-to-end tests take the same way: real pointer input, finding an open menu, counting
// what landed in a folder, waiting for the cells of a pane to show pictures, and running a command of
// the folder tree's menu that asks for a folder in the system's folder chooser.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/e2e/quorle_copy.h"
#include "tests/e2e/remote_buffer.h"

namespace e2e {

// Moves the pointer to `screen` with real input (SendInput, as a person's mouse would), pressing or
// releasing `buttons` (MOUSEEVENTF_LEFTDOWN ...) there. A menu loop and a drag see only real input.
void PointerTo(POINT screen, DWORD buttons = 0);

// The visible popup menu window of the desktop, or null.
HWND OpenMenuWindow();

// Shift held as the thread of `window` sees it, for the life of the object: this thread's input state
// is shared with that thread meanwhile (a click that loads the other pane, extends a selection ...).
class SharedShift {
  public:
    explicit SharedShift(HWND window);
    ~SharedShift();
    SharedShift(const SharedShift&) = delete;
    SharedShift& operator=(const SharedShift&) = delete;
    bool Attached() const { return attached_; }

  private:
    DWORD other_;
    bool attached_ = false;
};

// Files below `folder`, its sub-folders' included.
size_t CountFilesBelow(const std::wstring& folder);

// The visible windows of class `className` below `top`, in window order.
std::vector<HWND> VisibleChildren(HWND top, const std::wstring& className);

// Waits up to `timeoutMs` until no cell shows only an empty cell's colours at its centre.
bool CellsShowPictures(const std::vector<HWND>& cells, DWORD timeoutMs);

// Starts `copy` with `settings` and `root` as an expanded root folder of the tree, and waits until the
// tree has filled. Fails the test when it does not.
void StartWithTreeRoot(const QuorleCopy& copy, harness::Process& process, settings::Settings settings,
                       const std::wstring& root, HWND* main, HWND* tree);

// The child named `name` of the tree's root folder, once the tree shows it (10 s at most), or null.
HTREEITEM RootFolderChild(HWND tree, RemoteBuffer& remote, const std::wstring& name);

// Opens the tree menu on `item` and types the mnemonic of one of its commands.
void TreeMenuCommand(HWND main, HWND tree, DWORD pid, RemoteBuffer& remote, HTREEITEM item, wchar_t mnemonic);

// Waits for the folder chooser of process `pid`, lets it settle on the folder it was opened at
// (`folder`, whose name its tree shows) and presses OK; `shot` names a screenshot of it (or none).
// Under a loaded Wine the dialog's own selection is now and then lost while its tree fills; the
// folder is then selected again from here, as the program does, before giving up.
void AcceptFolderChooser(DWORD pid, const std::wstring& folder, const wchar_t* shot = nullptr);

} // namespace e2e
