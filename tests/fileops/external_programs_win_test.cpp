// Shortcut files followed to their targets, as the open-path request does before classifying a path;
// a tool slot whose file is a script gets no parameter text.
#include "fileops/external_programs_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "common/platform.h"
#include "common/scoped_win.h"
#include "tests/fixtures/byte_writer.h"

namespace {

class ComScope {
  public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT hr_;
};

bool MakeLink(const std::wstring& link, const std::wstring& target) {
    win::ComPtr<IShellLinkW> shellLink;
    win::ComPtr<IPersistFile> file;
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      reinterpret_cast<void**>(shellLink.Out()))) &&
           SUCCEEDED(shellLink->SetPath(target.c_str())) &&
           SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))) &&
           SUCCEEDED(file->Save(link.c_str(), TRUE));
}

TEST(FollowShortcut, ALinkGivesItsTargetAndAnythingElseStaysAsItWas) {
    ComScope com;
    fixtures::TempFolder folder;
    const std::wstring target = folder / L"Ph\u00f6tos 2024";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    const std::wstring link = folder / L"Holiday.lnk";
    ASSERT_TRUE(MakeLink(link, target));
    EXPECT_EQ(external::FollowShortcut(link), target);
    // The target is not looked for when it has gone: the stored path is what the link says.
    ASSERT_TRUE(RemoveDirectoryW(target.c_str()));
    EXPECT_EQ(external::FollowShortcut(link), target);

    const std::wstring plain = folder / L"plain.jpg";
    ASSERT_TRUE(fixtures::ByteWriter().Bytes({1, 2, 3}).SaveTo(plain));
    EXPECT_EQ(external::FollowShortcut(plain), plain);
    // A damaged link reads as no link at all.
    const std::wstring broken = folder / L"broken.lnk";
    ASSERT_TRUE(fixtures::ByteWriter().Bytes({'L', 0, 0, 0, 9, 9}).SaveTo(broken));
    EXPECT_EQ(external::FollowShortcut(broken), broken);
    EXPECT_EQ(external::FollowShortcut(folder / L"missing.lnk"), folder / L"missing.lnk");
}

// The lines a script wrote to `file`, once there are `count` of them (bounded wait: the script runs in
// a process of its own).
std::vector<std::string> WaitLines(const std::wstring& file, size_t count) {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 300 && lines.size() < count; ++attempt) {
        Sleep(50);
        const std::vector<uint8_t> bytes = fixtures::ReadWholeFile(file);
        lines.clear();
        std::string line;
        for (uint8_t b : bytes) {
            if (b == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (b != '\r') {
                line += static_cast<char>(b);
            }
        }
    }
    return lines;
}

// A script in a tool slot would take the slot's text and the paths for its own arguments: it is
// opened with none. The same script started with parameters records them, so an empty record means
// none were passed.
TEST(RunTool, AScriptSlotIsOpenedWithoutAnyParameters) {
    fixtures::TempFolder folder;
    const std::wstring script = folder / L"tool.cmd";
    ASSERT_TRUE(fixtures::ByteWriter().Ascii("@echo [%*]>>\"%~dp0record.txt\"\r\n").SaveTo(script));
    const std::wstring record = folder / L"record.txt";
    EXPECT_FALSE(external::IsExecutable(script));

    ASSERT_TRUE(external::Launch(script, L"-p \"a b.jpg\""));
    std::vector<std::string> lines = WaitLines(record, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[-p \"a b.jpg\"]");

    external::PaneView pane;
    pane.locationPath = folder.Path();
    pane.selected = {{folder / L"a b.jpg", 0}, {folder / L"c.jpg", 0}};
    pane.hasFocus = pane.hasFirst = true;
    pane.focused = pane.first = pane.selected[0];
    external::RunTool(nullptr, {script, L"Script", L"-p"}, pane);
    lines = WaitLines(record, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "[]");
}

} // namespace
