// Settings file fuzzer: the input is an old Quorle.ini. It is read key by key and as a whole, rewritten
// in place (so the carry-over of foreign keys sees the hostile directory), and the result must be a
// well-formed file that loads back to the same settings.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "app/shortcut_table.h"

namespace {

struct TempFiles {
    std::wstring input = platform::MakeTempFile();
    std::wstring fresh1 = platform::MakeTempFile();
    std::wstring fresh2 = platform::MakeTempFile();
    ~TempFiles() {
        for (const std::wstring* p : {&input, &fresh1, &fresh2})
            if (!p->empty())
                platform::DeleteFileAt(*p);
    }
};

using fuzz::Check;

bool WriteFile(const std::wstring& path, const uint8_t* data, size_t size) {
    platform::File f;
    return f.Open(path, platform::OpenMode::CreateAlways) && (size == 0 || f.Write(data, size) == size);
}

std::vector<uint8_t> ReadFile(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    platform::File f;
    uint64_t size = 0;
    if (!f.Open(path, platform::OpenMode::ReadShared) || !f.Size(&size))
        return bytes;
    bytes.resize(static_cast<size_t>(size));
    if (size && !f.ReadExact(bytes.data(), bytes.size()))
        bytes.clear();
    return bytes;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t off) {
    return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24;
}

// A written file: the fixed header, and blocks that lie after the directory, inside the file and
// apart from each other.
void CheckWellFormed(const std::vector<uint8_t>& b) {
    Check(b.size() >= settings::kWrittenHeaderSize);
    Check(b[0] == 0xAC && b[1] == 0x00 && b[2] == 0xE8 && b[3] == 0x0D);
    std::vector<std::pair<uint64_t, uint64_t>> blocks;
    for (int k = 0; k < settings::kKeyCount; ++k) {
        uint32_t first = Le32(b, 4 + 8 * size_t(k));
        uint32_t second = Le32(b, 8 + 8 * size_t(k));
        if (first == 0)
            Check(second == 0);
        if (first < 2)
            continue;
        Check(second > 0);
        Check(first >= settings::kWrittenHeaderSize && uint64_t(first) + second <= b.size());
        blocks.emplace_back(first, uint64_t(first) + second);
    }
    std::sort(blocks.begin(), blocks.end());
    for (size_t i = 1; i < blocks.size(); ++i)
        Check(blocks[i - 1].second <= blocks[i].first);
}

settings::Settings Load(const std::wstring& path, const settings::SettingsEnvironment& env) {
    settings::SettingsReader r;
    r.Open(path);
    return settings::LoadSettings(r, env);
}

std::vector<uint8_t> SaveFresh(const std::wstring& path, const settings::Settings& s) {
    platform::DeleteFileAt(path);
    {
        settings::SettingsWriter w;
        Check(w.Open(path));
        settings::SaveSettings(w, s);
        Check(w.Finish());
    }
    return ReadFile(path);
}

// A file full of every kind of value, so that patching a few bytes of it reaches the deep paths
// that random bytes rarely form.
std::vector<uint8_t> RichFile(const std::wstring& path) {
    settings::Settings s;
    s.languageModule = L"English.dll";
    s.sizePresets[0] = {160, 120};
    s.accelerators = shortcuts::SerializeAccelerators(shortcuts::LiveTableFromSlots(shortcuts::DefaultSlots()));
    s.viewerPath = L"C:\\Drova\\Drova.exe";
    s.tools[0] = {L"C:\\t.exe", L"Tool", L"%1"};
    s.favourites = {{location::kFileSystemFolder, {4, 0, 1, 2, 0, 0}, L"A"},
                    {location::kShellFolder, {}, L"B"},
                    {location::kZipArchive, {2, 0}, L"C"}};
    s.treeRoots = {{L"C:\\", 1}, {L"D:\\Photos", 0}};
    s.fontFace = L"Tahoma";
    s.cacheFolder = L"E:\\cache";
    return SaveFresh(path, s);
}

void ReadEveryKey(const settings::SettingsReader& r) {
    uint8_t small[8];
    for (int k = -1; k <= settings::kKeyCount; ++k) {
        r.ReadInline(k, 0);
        std::wstring s;
        r.ReadString(k, s);
        r.ReadBlock(k, nullptr, 0);
        r.ReadBlock(k, small, sizeof small);
        r.ReadStringList(k);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFiles files;
    if (files.input.empty() || files.fresh1.empty() || files.fresh2.empty())
        return 0;
    settings::SettingsEnvironment env;
    env.screenBound = 900;
    env.menuFontFace = L"Menu";
    env.picturesFolder = L"C:\\Pictures";
    env.programFolder = L"C:\\Quorle";

    // Odd first byte: the rest is (offset u16, value u8) patches over the rich file; an offset past
    // its end cuts the file instead. Otherwise the input is the file itself.
    if (size > 0 && (data[0] & 1)) {
        static const std::vector<uint8_t> rich = RichFile(files.fresh1);
        std::vector<uint8_t> patched = rich;
        for (size_t i = 1; i + 3 <= size && !patched.empty(); i += 3) {
            size_t offset = data[i] | (data[i + 1] << 8);
            if (offset < patched.size())
                patched[offset] = data[i + 2];
            else
                patched.resize(offset % patched.size());
        }
        Check(WriteFile(files.input, patched.data(), patched.size()));
    } else {
        Check(WriteFile(files.input, data, size));
    }
    settings::Settings first;
    {
        settings::SettingsReader r;
        r.Open(files.input);
        ReadEveryKey(r);
        first = settings::LoadSettings(r, env);
    }
    shortcuts::ShortcutTable table = shortcuts::LoadShortcuts(first.accelerators);
    for (const shortcuts::Slot& slot : table.slots)
        shortcuts::ShortcutText(table.slots, slot.command);

    {
        settings::SettingsWriter w;
        if (!w.Open(files.input))
            return 0;
        settings::SaveSettings(w, first);
        Check(w.Finish());
    }
    CheckWellFormed(ReadFile(files.input));

    // Whatever the old file held, the settings survive the rewrite unchanged.
    settings::Settings second = Load(files.input, env);
    std::vector<uint8_t> a = SaveFresh(files.fresh1, first);
    std::vector<uint8_t> b = SaveFresh(files.fresh2, second);
    CheckWellFormed(a);
    Check(a == b);
    return 0;
}
