// The decisions of start-up that need no operating system: which OS versions run, whether the
// executable may start, where settings and cache live, how the window is first shown, which
// language modules are tried, and how an error id becomes a message box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace startup {

// 0 unsupported (before 5.1), 1 = 5.1/5.2, 2 = 6.0, 3 = 6.1, 4 = 6.2, 5 = 6.3 and later.
int OsClass(uint32_t major, uint32_t minor);

// True when the file name of `exePath`, without its extension, is "Quorle" under ASCII folding.
bool ExecutableNameIsQuorle(const std::wstring& exePath);

constexpr wchar_t kSettingsFileName[] = L"Quorle.ini";
constexpr wchar_t kAppDataFolderName[] = L"Quorle";

// The cache folder: "cache" beside the settings file while the default flag is set, else key 164.
// The flag is bit 0 of key 167 only when the file has more than 167 entries and the key is inline.
struct CacheKeys {
    int entryCount = 0;
    bool key167Inline = false;
    uint32_t key167 = 0;
    std::wstring key164;
};
bool CacheFolderIsDefault(const CacheKeys& keys);
std::wstring CacheFolder(const CacheKeys& keys, const std::wstring& settingsPath);

// The show command of the first show (SW_* values).
int FirstShowCommand(int cmdShow, uint32_t key1);

// Module names in the order they are tried: the stored name (or the user's UI language's default
// when empty), then "English", then "Japanese", each once.
std::vector<std::wstring> LanguageCandidates(const std::wstring& stored, uint16_t uiLanguage);

// A language name must name a file of the program folder: no folder part, drive or stream.
bool IsPlainModuleName(const std::wstring& name);

// An error box by string id: caption id, optional prefix id (0 = none) and text id.
struct ErrorBoxTexts {
    uint32_t caption = 0;
    uint32_t prefix = 0;
    uint32_t text = 0;
};
// False for ids that show nothing.
bool ErrorBoxFor(uint32_t id, ErrorBoxTexts* texts);

// Bounded waits at shutdown.
constexpr uint32_t kThreadWaitMs = 1000;
constexpr uint32_t kJobWaitMs = 258;
constexpr uint32_t kStillActive = 259;

} // namespace startup
