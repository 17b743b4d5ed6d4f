// RAR fuzzer: the header walk that probes and finds volumes, and the built-in reader's listing and
// member fetches. Each input is written to a temporary file: as it is when it starts with the RAR
// marker, otherwise a patched copy of a small stored RAR 4 or RAR 5 archive made at start-up. The
// temporary name follows no volume style, so the input is always the whole set.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/rar_reader.h"
#include "common/platform.h"
#include "fuzz/fuzz_support.h"
#include "tests/fixtures/rar_writer.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

constexpr uint32_t kMaxFetches = 8;

Bytes MakeTemplate(bool rar5) {
    const std::wstring stem = platform::MakeTempFile();
    platform::DeleteFileAt(stem);
    fixtures::RarSetOptions o;
    o.rar5 = rar5;
    fixtures::RarMember folder;
    folder.name = L"dir";
    folder.folder = true;
    const std::vector<fixtures::RarMember> members = {
        {L"a\\b.jpg", Bytes(300, 'x')}, {L"s.txt", {'h', 'i'}}, folder, {L"d\u00e9.bin", Bytes(40, 7)}};
    const std::vector<std::wstring> written = fixtures::WriteStoredRar(stem, members, o);
    Bytes bytes;
    if (!written.empty()) {
        platform::File f;
        uint64_t size = 0;
        if (f.Open(written[0], platform::OpenMode::ReadShared) && f.Size(&size)) {
            bytes.resize(static_cast<size_t>(size));
            f.ReadExact(bytes.data(), bytes.size());
        }
        platform::DeleteFileAt(written[0]);
    }
    return bytes;
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {MakeTemplate(false), MakeTemplate(true)};
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::wstring path = platform::MakeTempFile();
    if (path.empty() || Templates()[0].empty() || Templates()[1].empty())
        return 0;
    const bool raw = size >= 6 && data[0] == 'R' && data[1] == 'a' && data[2] == 'r' && data[3] == '!';
    const Bytes input = raw ? Bytes(data, data + size) : fuzz::PatchTemplate(Templates(), data, size, size);
    {
        platform::File out;
        Check(out.Open(path, platform::OpenMode::CreateAlways));
        Check(input.empty() || out.Write(input.data(), input.size()) == input.size());
    }
    const archive::RarProbe probe = archive::ProbeRarArchive(path);
    Check(probe >= archive::kRarNotVolume && probe <= archive::kRarFirstVolume);
    location::ArchiveListing listing;
    if (!archive::ListRarArchive(path, &listing))
        return 0;
    Check(!listing.entries.empty());
    for (uint32_t i = 0; i < listing.entries.size() && i < kMaxFetches; ++i) {
        Check(listing.entries[i].locator == i);
        platform::PageBlock block;
        uint32_t got = 0;
        if (archive::FetchRarMember(path, i, &block, &got)) {
            // The size listed is the size fetched; the spare four bytes are zero.
            Check(got == listing.entries[i].size && block.Size() >= size_t{got} + 4);
            for (size_t k = 0; k < 4; ++k)
                Check(block.Get()[got + k] == 0);
        } else {
            Check(!block);
        }
    }
    // One kept reader, members asked backwards (restarts) and in place (offsets from the headers):
    // a member seen in place at its listed size is the member fetched.
    archive::RarMemberReader reader(path);
    for (uint32_t i = static_cast<uint32_t>(std::min<size_t>(listing.entries.size(), kMaxFetches)); i-- > 0;) {
        platform::PageBlock block;
        uint32_t got = 0;
        const bool fetched = reader.Fetch(i, &block, &got);
        Check(!fetched || (got == listing.entries[i].size && block.Size() >= size_t{got} + 4));
        platform::MappedView view;
        const uint8_t* bytes = nullptr;
        uint32_t seen = 0;
        if (reader.View(i, &view, &bytes, &seen)) {
            Check(bytes >= view.Data() && seen <= view.Size() &&
                  static_cast<size_t>(bytes - view.Data()) <= view.Size() - seen);
            if (fetched && seen == got)
                Check(std::equal(bytes, bytes + seen, block.Get()));
        }
    }
    return 0;
}
