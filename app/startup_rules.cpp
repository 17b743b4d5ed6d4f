#include "app/startup_rules.h"

#include "common/path.h"

namespace startup {

int OsClass(uint32_t major, uint32_t minor) {
    if (major >= 7)
        return 5;
    if (major == 6)
        return minor >= 3 ? 5 : static_cast<int>(minor) + 2;
    if (major == 5 && minor >= 1)
        return 1;
    return 0;
}

bool ExecutableNameIsQuorle(const std::wstring& exePath) {
    const std::wstring name = paths::LastComponent(exePath);
    return paths::EqualFold(name.substr(0, name.rfind(L'.')), L"Quorle");
}

bool CacheFolderIsDefault(const CacheKeys& keys) {
    if (keys.entryCount > 167 && keys.key167Inline)
        return (keys.key167 & 1) != 0;
    return true;
}

std::wstring CacheFolder(const CacheKeys& keys, const std::wstring& settingsPath) {
    if (CacheFolderIsDefault(keys))
        return paths::Join(paths::Parent(settingsPath), L"cache");
    return keys.key164;
}

int FirstShowCommand(int cmdShow, uint32_t key1) {
    const int kShowNormal = 1, kShowMaximized = 3, kShowMinNoActive = 7;
    if (cmdShow != kShowMaximized && cmdShow != kShowMinNoActive && (key1 & 1))
        return kShowMaximized;
    return kShowNormal;
}

std::vector<std::wstring> LanguageCandidates(const std::wstring& stored, uint16_t uiLanguage) {
    const uint16_t kJapanese = 1041;
    std::vector<std::wstring> names;
    auto add = [&names](const std::wstring& name) {
        for (const std::wstring& n : names)
            if (paths::EqualFold(n, name))
                return;
        names.push_back(name);
    };
    add(!stored.empty() ? stored : uiLanguage == kJapanese ? L"Japanese" : L"English");
    add(L"English");
    add(L"Japanese");
    return names;
}

bool IsPlainModuleName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..")
        return false;
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

bool ErrorBoxFor(uint32_t id, ErrorBoxTexts* texts) {
    if (id >= 30001 && id <= 30013) {
        *texts = {30000, 0, id};
        return true;
    }
    if (id >= 50001 && id <= 50010) {
        *texts = {50000, 0, id};
        return true;
    }
    if (id >= 50011 && id <= 50024) {
        *texts = {50000, 50007, id};
        return true;
    }
    return false;
}

} // namespace startup
