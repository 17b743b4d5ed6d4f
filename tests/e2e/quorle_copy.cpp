#include "tests/e2e/quorle_copy.h"

#include <gtest/gtest.h>

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

} // namespace e2e
