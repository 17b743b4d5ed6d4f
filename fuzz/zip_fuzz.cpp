// ZIP reader fuzzer. The reader works on files, so each input is written to a temporary file first:
// the input as it is when it ends with an end record's signature within its last 65,557 bytes,
// otherwise a patched copy of a small archive made at start-up (stored, deflated, data-descriptor and
// folder members, a comment). The archive is listed, every listed member extracted, and the last four
// input bytes are tried as a locator too. The names extraction would write are checked to stay inside
// their folder.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/zip_reader.h"
#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "tests/archive/zip_fixtures.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

// Deflated, stored, folder and data-descriptor members with a UTF-8 name, by the tests' writer.
Bytes MakeTemplate(bool withComment) {
    Bytes text(300);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>("abcabd"[i % 6]);
    testzip::Member utf8{"d\xC3\xA9.bin", text};
    utf8.flags = 0x0800;
    utf8.descriptor = true;
    const std::vector<testzip::Member> members = {
        {"a/b/c.jpg", text}, {"s.txt", {'h', 'i'}, 0}, {"dir/", {}, 0}, utf8};
    return testzip::Make(members, withComment ? "comment PK" : "").bytes.Data();
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {MakeTemplate(false), MakeTemplate(true)};
    return all;
}

bool HasEndSignature(const uint8_t* data, size_t size) {
    const size_t from = size > 65557 ? size - 65557 : 0;
    for (size_t i = from; i + 4 <= size; ++i)
        if (std::memcmp(data + i, "PK\x05\x06", 4) == 0)
            return true;
    return false;
}

// A member read in place lies inside the mapped archive and holds what the copying read gives.
void CheckView(const platform::MappedView& view, platform::File& file, uint32_t locator) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!archive::ViewStoredZipEntry(view, locator, &data, &size)) {
        Check(data == nullptr && size == 0);
        return;
    }
    Check(data >= view.Data() && size <= view.Size() && data - view.Data() <= static_cast<ptrdiff_t>(view.Size() - size));
    platform::PageBlock block;
    uint32_t copied = 0;
    Check(archive::ExtractZipEntry(file, locator, &block, &copied));
    Check(copied == size && std::memcmp(block.Get(), data, size) == 0);
}

void CheckExtract(platform::File& file, uint32_t locator) {
    platform::PageBlock block;
    uint32_t size = 0;
    platform::FileTime time = 0;
    if (archive::ExtractZipEntry(file, locator, &block, &size, &time)) {
        Check(block && block.Size() >= size_t{size} + 4);
        // Every byte touched, the spare four zero.
        uint32_t sum = 0;
        for (size_t i = 0; i < size; ++i)
            sum += block.Get()[i];
        volatile uint32_t sink = sum;
        (void)sink;
        for (size_t i = 0; i < 4; ++i)
            Check(block.Get()[size + i] == 0);
    } else {
        Check(!block && size == 0);
    }
}

// A cleaned path is relative, never climbs and holds nothing Windows reads specially.
void CheckCleaned(const std::wstring& path) {
    if (path.empty())
        return;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring piece = path.substr(start, end - start);
        Check(!piece.empty() && piece.back() != L'.' && piece.back() != L' ');
        for (wchar_t c : piece)
            Check(c >= 0x20 && std::wcschr(L"<>:\"|?*/", c) == nullptr);
        if (end == path.size())
            return;
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::wstring path = platform::MakeTempFile();
    if (path.empty())
        return 0;
    const Bytes input = HasEndSignature(data, size) ? Bytes(data, data + size)
                                                    : fuzz::PatchTemplate(Templates(), data, size, size);
    {
        platform::File out;
        Check(out.Open(path, platform::OpenMode::CreateAlways));
        Check(input.empty() || out.Write(input.data(), input.size()) == input.size());
    }
    platform::File file;
    Check(file.Open(path, platform::OpenMode::ReadShared));
    platform::MappedView view;
    view.Open(path); // an empty file is refused; the view then holds nothing
    location::ArchiveListing listing;
    if (archive::ListZipArchive(file, &listing)) {
        Check(!listing.entries.empty() && listing.entries.size() <= 65535);
        for (const location::ArchiveEntry& entry : listing.entries) {
            Check(entry.name.size() + entry.folder.size() <= 259);
            Check(entry.name.find_first_of(L"/\\") == std::wstring::npos);
            Check(entry.folder.find(L'/') == std::wstring::npos);
            Check(entry.folder.empty() || entry.folder.back() == L'\\');
            CheckExtract(file, entry.locator);
            CheckView(view, file, entry.locator);
            CheckCleaned(archive::CleanRelativePath(entry.folder));
            const std::wstring name = archive::CleanPathComponent(entry.name);
            CheckCleaned(name);
            Check(name.find(L'\\') == std::wstring::npos);
        }
    } else {
        Check(listing.entries.empty());
    }
    if (size >= 4) {
        uint32_t locator = 0;
        std::memcpy(&locator, data + size - 4, 4);
        CheckExtract(file, locator % (input.size() + 1));
        CheckView(view, file, locator % (input.size() + 1));
    }
    return 0;
}
