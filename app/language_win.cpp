#include "app/language_win.h"

#include <cstring>

#include "app/dialog_template.h"
#include "app/startup_rules.h"
#include "common/path.h"
#include "common/scoped_win.h"

namespace lang {

namespace {

HMODULE g_module = nullptr;
HANDLE g_heap = nullptr;
const bool* g_largeFont = nullptr;

std::wstring ModulePath(const std::wstring& folder, const std::wstring& name) {
    std::wstring file = name;
    size_t slash = file.find_last_of(L'\\');
    size_t dot = file.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        file += L".dll";
    return paths::Join(folder, file);
}

// The template copied out of the module with the program's point size, on the private heap.
class TemplateCopy {
  public:
    // `points` 0: the program's size (9, or 11 with the large font).
    explicit TemplateCopy(UINT id, uint16_t points = 0) {
        HMODULE module = Current();
        HRSRC res = module ? FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG)) : nullptr;
        HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
        const uint8_t* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
        dlgtemplate::Facts facts;
        if (!bytes || !dlgtemplate::Walk(bytes, SizeofResource(module, res), &facts))
            return;
        heap_ = g_heap ? g_heap : GetProcessHeap();
        copy_ = heap_ ? static_cast<uint8_t*>(HeapAlloc(heap_, 0, facts.size)) : nullptr;
        if (!copy_)
            return;
        std::memcpy(copy_, bytes, facts.size);
        dlgtemplate::SetPointSize(copy_, facts, points ? points : dlgtemplate::PointSize(g_largeFont && *g_largeFont));
    }
    ~TemplateCopy() {
        if (copy_)
            HeapFree(heap_, 0, copy_);
    }
    TemplateCopy(const TemplateCopy&) = delete;
    TemplateCopy& operator=(const TemplateCopy&) = delete;
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(copy_); }

  private:
    HANDLE heap_ = nullptr;
    uint8_t* copy_ = nullptr;
};

} // namespace

void SetDialogOptions(HANDLE heap, const bool* largeFont) {
    g_heap = heap;
    g_largeFont = largeFont;
}

bool HasSignature(HMODULE module) {
    static const char kSignature[7] = {'Q', 'u', 'o', 'r', 'l', 'e', 0};
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!res || SizeofResource(module, res) < sizeof kSignature)
        return false;
    HGLOBAL loaded = LoadResource(module, res);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return bytes && std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

HMODULE OpenModule(const std::wstring& folder, const std::wstring& name) {
    if (!startup::IsPlainModuleName(name))
        return nullptr;
    // A full path, so the module can only come from the program folder, and as resources only.
    win::Module module(LoadLibraryExW(ModulePath(folder, name).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
    if (!module || !HasSignature(module.Get()))
        return nullptr;
    return module.Release();
}

bool Load(const std::wstring& folder, std::wstring& name) {
    for (const std::wstring& candidate : startup::LanguageCandidates(name, GetUserDefaultUILanguage())) {
        if (HMODULE module = OpenModule(folder, candidate)) {
            Unload();
            g_module = module;
            name = candidate;
            return true;
        }
    }
    return false;
}

bool Switch(const std::wstring& folder, const std::wstring& name) {
    HMODULE module = OpenModule(folder, name);
    if (!module)
        return false;
    // Texts already on screen were copied out of the old module, so it can go at once.
    Unload();
    g_module = module;
    return true;
}

void Unload() {
    if (g_module)
        FreeLibrary(g_module);
    g_module = nullptr;
}

HMODULE Current() { return g_module; }

std::wstring Text(UINT id) {
    wchar_t buffer[128];
    int n = g_module ? LoadStringW(g_module, id, buffer, 127) : 0;
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

bool ErrorTexts(UINT id, std::wstring* caption, std::wstring* text) {
    startup::ErrorBoxTexts ids;
    if (!startup::ErrorBoxFor(id, &ids))
        return false;
    *caption = Text(ids.caption);
    *text = (ids.prefix ? Text(ids.prefix) : std::wstring()) + Text(ids.text);
    return true;
}

void ShowError(HWND owner, UINT id) {
    std::wstring caption, text;
    if (!g_module || !ErrorTexts(id, &caption, &text))
        return;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_SETFOREGROUND | MB_ICONERROR);
}

HWND CreateDialogFromModule(UINT templateId, HWND owner, DLGPROC proc, LPARAM param) {
    TemplateCopy copy(templateId);
    if (!copy.Get())
        return nullptr;
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), copy.Get(), owner, proc, param);
}

INT_PTR DialogBoxFromModule(UINT templateId, HWND owner, DLGPROC proc, LPARAM param, uint16_t points) {
    TemplateCopy copy(templateId, points);
    if (!copy.Get())
        return -1;
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), copy.Get(), owner, proc, param);
}

std::vector<std::wstring> LanguageList(const std::wstring& folder, const std::wstring& current) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(paths::Join(folder, L"*.dll").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::wstring name = found.cFileName;
        size_t dot = name.find_last_of(L'.');
        if (dot != std::wstring::npos)
            name.resize(dot);
        if (paths::EqualFold(name, current)) {
            names.push_back(name);
            continue;
        }
        if (HMODULE module = OpenModule(folder, name)) {
            FreeLibrary(module);
            names.push_back(name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

} // namespace lang
