// The external RAR module ("unrar64.dll"), loaded at run time when present and never required. It
// is looked for in the plug-in folder, then the program's folder, then the system folder; a module
// lacking any of the four functions used counts as absent. Each operation loads it, keeps its own
// context record and releases it at its end, so any thread may run one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "archive/job_progress.h"
#include "archive/rar_module_abi.h"
#include "archive/rar_volumes.h"
#include "common/location.h"
#include "common/platform.h"

namespace archive {

constexpr wchar_t kRarModuleName[] = L"unrar64.dll";
constexpr UINT kRarPasswordDialog = 2800;

// Shows the password dialog: `password` comes pre-filled and receives what was typed. False on Cancel.
using RarPasswordAsk = std::function<bool(HWND owner, std::wstring* password)>;

// Whether the module file exists in one of the three places.
bool RarModulePresent(const std::wstring& pluginFolder);

// One operation's hold on the module: found, loaded and bound on Load, released on destruction.
class RarModule {
  public:
    RarModule() = default;
    ~RarModule();
    RarModule(const RarModule&) = delete;
    RarModule& operator=(const RarModule&) = delete;

    // Idempotent; false when no place holds a module with all four functions.
    bool Load(const std::wstring& pluginFolder);
    bool Loaded() const { return module_ != nullptr; }

    rarabi::OpenArchiveExFn open = nullptr;
    rarabi::CloseArchiveFn close = nullptr;
    rarabi::ReadHeaderExFn readHeader = nullptr;
    rarabi::ProcessFileWFn process = nullptr;

  private:
    HMODULE module_ = nullptr;
};

// The context record of one operation, handed to the module as the callback's user data.
struct RarContext {
    HWND owner = nullptr;                // owner of the password dialog
    UINT dialogId = kRarPasswordDialog;  // always 2800
    std::wstring password;               // typed during this operation
    bool asked = false;                  // the dialog was shown in this operation
    bool cancelled = false;              // the user cancelled it: the operation gives nothing
    bool collect = false;                // data go to the output block
    bool busy = false;                   // a whole-archive extraction runs
    uint8_t* out = nullptr;              // output block: start, write position, end
    uint8_t* pos = nullptr;
    uint8_t* end = nullptr;
    RarPasswordAsk ask;                  // null: requests are refused
};

// The module's callback (exported for the tests, which drive it directly).
int RarModuleCallback(unsigned msg, intptr_t userData, intptr_t p1, intptr_t p2);

// The four operations through the module; every failure is a plain false (the probe: 0).
RarProbe ProbeRarWithModule(RarModule& module, const std::wstring& path);
bool ListRarWithModule(RarModule& module, const std::wstring& path, RarContext& context,
                       location::ArchiveListing* listing);
bool FetchRarWithModule(RarModule& module, const std::wstring& path, uint32_t ordinal, RarContext& context,
                        platform::PageBlock* block, uint32_t* size);
// The progress window, when there is one, becomes the owner of the password dialog.
bool ExtractRarWithModule(RarModule& module, const std::wstring& path, const std::wstring& targetFolder,
                          JobProgress& progress, RarContext& context, std::wstring* createdFolder);

} // namespace archive
