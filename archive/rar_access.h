// RAR archives for the rest of the program: the external module when it is present (Windows only),
// the built-in reader otherwise. Each call is one operation: it loads the module, uses it and
// releases it, so any thread may call at any time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
class RarMemberReader;

// The member fetches of one pane load from one set. The built-in reader keeps the set open between
// fetches and moves forward through it (rar_reader.h RarMemberReader); the module is loaded and the
// set opened for every fetch, as each fetch is one operation that may ask for the password. Which
// reader serves is decided when the load starts. Any thread may fetch.
class RarLoad {
  public:
    explicit RarLoad(const std::wstring& path);
    ~RarLoad();
    RarLoad(const RarLoad&) = delete;
    RarLoad& operator=(const RarLoad&) = delete;

    // As FetchRar.
    bool Fetch(uint32_t ordinal, platform::PageBlock* block, uint32_t* size);
    // A stored member in place (RarMemberReader::View); false when it must be fetched, and always
    // while the module serves.
    bool View(uint32_t ordinal, platform::MappedView* view, const uint8_t** data, uint32_t* size);

  private:
    std::wstring path_;
    std::unique_ptr<RarMemberReader> builtIn_; // null while the module serves
};

// `owner`: the window that owns the password dialog (the job's progress window), or 0.
bool ExtractRar(const std::wstring& path, const std::wstring& targetFolder, JobProgress& progress, intptr_t owner,
                std::wstring* createdFolder);

} // namespace archive
