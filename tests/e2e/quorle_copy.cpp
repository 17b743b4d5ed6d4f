#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "tests/thumbs/photo_fixtures.h"

namespace e2e {

QuorleCopy::QuorleCopy(const std::wstring& exeName) : exe_(exeName) {
    const std::wstring out = harness::OutputFolder();
    EXPECT_TRUE(CopyFileW((out + L"\\Quorle.exe").c_str(), Exe().c_str(), FALSE));
    EXPECT_TRUE(CopyFileW((out + L"\\English.dll").c_str(), (folder_ / L"English.dll").c_str(), FALSE));
    // An empty settings file: portable use with every setting at its default.
    EXPECT_TRUE(fixtures::ByteWriter().SaveTo(SettingsPath()));
}

bool QuorleCopy::WriteSettings(const settings::Settings& s) const {
    DeleteFileW(SettingsPath().c_str());
    settings::SettingsWriter writer;
    if (!writer.Open(SettingsPath()))
        return false;
    settings::SaveSettings(writer, s);
    return writer.Finish();
}

settings::Settings QuorleCopy::ReadSettings(settings::SettingsReader* reader) const {
    settings::SettingsReader local;
    settings::SettingsReader& r = reader ? *reader : local;
    r.Open(SettingsPath());
    settings::SettingsEnvironment env;
    env.screenBound = 700;
    return settings::LoadSettings(r, env);
}

HWND QuorleCopy::Start(harness::Process& process, const std::wstring& args) const {
    if (!process.Start(Exe(), args, Folder()))
        return nullptr;
    return harness::FindTopWindow(kMainClass, 30000, process.Id());
}

DWORD QuorleCopy::Close(harness::Process& process, HWND main) {
    harness::PostClose(main);
    DWORD code = 259;
    if (!process.Wait(20000, &code))
        return 259;
    return code;
}

namespace {

struct CountArgs {
    const std::wstring* className;
    int count;
};

BOOL CALLBACK CountProc(HWND hwnd, LPARAM lp) {
    CountArgs* args = reinterpret_cast<CountArgs*>(lp);
    if (harness::WindowClassName(hwnd) == *args->className)
        ++args->count;
    return TRUE;
}

} // namespace

int CountTopWindows(const std::wstring& className) {
    CountArgs args{&className, 0};
    EnumWindows(CountProc, reinterpret_cast<LPARAM>(&args));
    return args.count;
}

HWND ChildById(HWND top, int id) {
    for (const harness::ChildInfo& c : harness::Children(top))
        if (c.id == id)
            return c.hwnd;
    return nullptr;
}

RECT ScreenRect(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

bool RemoteSend(HWND hwnd, UINT message, WPARAM wp, void* buffer, size_t size, LRESULT* result) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    bool ok = false;
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (remote) {
        DWORD_PTR answer = 0;
        SIZE_T moved = 0;
        ok = WriteProcessMemory(process, remote, buffer, size, &moved) &&
             SendMessageTimeoutW(hwnd, message, wp, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, &answer) &&
             ReadProcessMemory(process, remote, buffer, size, &moved);
        if (result)
            *result = static_cast<LRESULT>(answer);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return ok;
}

std::wstring RemoteStatusText(HWND status, int part) {
    std::vector<wchar_t> text(1024, 0);
    if (!RemoteSend(status, SB_GETTEXTW, static_cast<WPARAM>(part), text.data(), (text.size() - 1) * sizeof(wchar_t)))
        return L"?";
    return text.data();
}

RECT RemoteItemRect(HWND toolbar, int index) {
    RECT r = {};
    if (RemoteSend(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), &r, sizeof r))
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<std::wstring> RemoteToolTexts(HWND tooltip) {
    std::vector<std::wstring> texts;
    DWORD pid = 0;
    GetWindowThreadProcessId(tooltip, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return texts;
    // One block: the tool record, then the buffer its lpszText points to.
    constexpr size_t kTextUnits = 1024;
    const size_t size = sizeof(TTTOOLINFOW) + kTextUnits * sizeof(wchar_t);
    auto* remote = static_cast<uint8_t*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (remote) {
        DWORD_PTR count = 0;
        SendMessageTimeoutW(tooltip, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
        for (DWORD_PTR i = 0; i < count; ++i) {
            TTTOOLINFOW ti = {};
            ti.cbSize = sizeof ti;
            ti.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof ti);
            std::vector<wchar_t> text(kTextUnits, 0);
            SIZE_T moved = 0;
            DWORD_PTR ok = 0;
            if (WriteProcessMemory(process, remote, &ti, sizeof ti, &moved) &&
                WriteProcessMemory(process, remote + sizeof ti, text.data(), text.size() * sizeof(wchar_t), &moved) &&
                SendMessageTimeoutW(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000,
                                    &ok) &&
                ok && ReadProcessMemory(process, remote + sizeof ti, text.data(), (kTextUnits - 1) * sizeof(wchar_t), &moved))
                texts.push_back(text.data());
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return texts;
}

HWND ToolTipOf(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search = {owner, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) {
            auto* s = reinterpret_cast<Search*>(lp);
            if (GetWindow(hwnd, GW_OWNER) == s->owner && harness::WindowClassName(hwnd) == TOOLTIPS_CLASSW) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Photographs in two formats, landscape and portrait, under a readable folder name.
std::wstring WritePhotos(const fixtures::TempFolder& root, const std::wstring& name, int count) {
    const std::wstring folder = root / name;
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (int i = 0; i < count; ++i) {
        const std::wstring stem = folder + L"\\photo" + std::to_wstring(i + 1);
        if (i % 3 == 2)
            EXPECT_TRUE(photos::WriteBmp(stem + L".bmp", 480, 360, 100 + i));
        else if (i % 3 == 1)
            EXPECT_TRUE(photos::WriteJpeg(stem + L".jpg", 1200, 1600, 100 + i));
        else
            EXPECT_TRUE(photos::WriteJpeg(stem + L".jpg", 1600, 1200, 100 + i));
    }
    return folder;
}

} // namespace e2e
