// Deleting and renaming: the selected items of a pane and the folders and archives of the tree. Each
// operation is admitted by the broker first and released after; the shell does the work and shows
// its own progress, confirmations and failures. What the caller must show is returned, so the panes
// and the tree can follow the change and tests can see every refusal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/location.h"
#include "fileops/file_rules.h"
#include "fileops/name_dialog_win.h"

namespace fileops {

struct Outcome {
    bool done = false; // the shell reported success
    UINT error = 0;    // the message the caller shows (30007, 30013), 0 for none
};

// One admission of the broker (WM_BROKER_ACQUIRE), released when the object goes.
class Admission {
  public:
    Admission(uint32_t code, const std::wstring* path);
    ~Admission();
    Admission(const Admission&) = delete;
    Admission& operator=(const Admission&) = delete;
    bool Granted() const { return granted_; }

  private:
    bool granted_ = false;
};

// Admission codes: a path of pane `pane`, a folder and everything under it, the folder pane `pane`
// shows; the test-only variant asks without taking the lock.
uint32_t PathCode(int pane);
uint32_t FolderCode();
uint32_t PaneCode(int pane);
bool TestAdmission(uint32_t code, const std::wstring* path);

// Whether the tree may offer rename and delete for `path`: the guard and the test-only admission.
bool TreeItemOffersChanges(const std::wstring& path);

// Deletes a tree folder or archive to the recycle bin after the guard and the admission.
Outcome DeleteTreeItem(HWND owner, const std::wstring& path);

// Asks for the new name once the operation is admitted: the name dialog, or a test's answer.
using AskNewName = std::function<NameAnswer(std::wstring* typed)>;

// Renames a tree folder or archive to the name asked for (an archive keeps its extension); nothing
// happens for an empty name. `newPath` gets the path it now has.
Outcome RenameTreeItem(HWND owner, const std::wstring& path, bool archive, const AskNewName& ask,
                       std::wstring* newPath);

// What a pane delete acts on.
struct PaneDelete {
    int pane = 0;
    location::LocationKind kind = location::kFileSystemFolder;
    bool recycleBin = false;
    bool loadFinished = false;
    std::vector<std::wstring> paths; // the selected items in pane order
};
Outcome DeletePaneItems(HWND owner, const PaneDelete& request);

// Renames the file at `path` (an item of pane `pane`) to the name asked for plus its old extension;
// nothing happens for an empty name. An existing file of the new name is never replaced: the shell's own
// confirmation decides, and a refusal leaves both files as they were. `newPath` gets the new path.
Outcome RenamePaneItem(HWND owner, int pane, const std::wstring& path, const AskNewName& ask,
                       std::wstring* newPath);

} // namespace fileops
