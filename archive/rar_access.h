// RAR archives for the rest of the program: the external module when it is present (Windows only),
// the built-in reader otherwise. Each call is one operation: it loads the module, uses it and
// releases it, so any thread may call at any time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/job_progress.h"
#include "common/location.h"
#include "common/platform.h"

namespace archive {

enum class RarReader { BuiltIn, Module };

// Where the module is looked for first (the plug-in folder setting) and how a password is asked
// for: `ask` gets the owner window (as an integer), the pre-filled text, and answers false on
// Cancel. Set once by the program; without it only the program's and the system's folders are
// searched and passwords are refused.
struct RarHooks {
    std::function<std::wstring()> pluginFolder;
    std::function<bool(intptr_t owner, std::wstring* password)> ask;
};
void SetRarHooks(RarHooks hooks);

// Which reader an operation would use now.
RarReader RarReaderInUse();

bool ListRar(const std::wstring& path, location::ArchiveListing* listing);
// A page block of size + 4 bytes, the spare four zero.
bool FetchRar(const std::wstring& path, uint32_t ordinal, platform::PageBlock* block, uint32_t* size);
// `owner`: the window that owns the password dialog (the job's progress window), or 0.
bool ExtractRar(const std::wstring& path, const std::wstring& targetFolder, JobProgress& progress, intptr_t owner,
                std::wstring* createdFolder);

} // namespace archive
