// Shortcut files followed to their targets, as the open-path request does before classifying a path.
#include "fileops/external_programs_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

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

} // namespace
