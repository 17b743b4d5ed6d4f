// ZIP reader fuzzer. The reader works on files, so each input is written to a temporary file first:
// the input as it is when it ends with an end record's signature within its last 65,557 bytes,
// otherwise a patched copy of a small archive made at start-up (stored, deflated, data-descriptor and
// folder members, a comment). The archive is listed, every listed member extracted, and the last four
// input bytes are tried as a locator too.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "common/crc32.h"
#include "common/platform.h"
#include "fuzz/fuzz_support.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

void Put16(Bytes& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(Bytes& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

Bytes RawDeflate(const Bytes& data) {
    z_stream zs = {};
    deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())) + 16);
    zs.next_in = const_cast<uint8_t*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

Bytes MakeTemplate(bool withComment) {
    struct M {
        std::string name;
        uint16_t method;
        uint16_t flags;
        Bytes data;
    };
    Bytes text(300);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>("abcabd"[i % 6]);
    const std::vector<M> members = {{"a/b/c.jpg", 8, 0, text}, {"s.txt", 0, 0, {'h', 'i'}},
                                    {"dir/", 0, 0, {}}, {"d\xC3\xA9.bin", 8, 0x0808, text}};
    Bytes file, directory;
    for (const M& m : members) {
        const Bytes body = m.method == 8 ? RawDeflate(m.data) : m.data;
        const uint32_t crc = crc::Crc32(m.data.data(), m.data.size());
        const uint32_t offset = static_cast<uint32_t>(file.size());
        const bool descriptor = m.flags & 8;
        Put32(file, 0x04034B50);
        Put16(file, 20);
        Put16(file, m.flags);
        Put16(file, m.method);
        Put32(file, 0x50D56000);
        Put32(file, descriptor ? 0 : crc);
        Put32(file, descriptor ? 0 : static_cast<uint32_t>(body.size()));
        Put32(file, descriptor ? 0 : static_cast<uint32_t>(m.data.size()));
        Put16(file, static_cast<uint32_t>(m.name.size()));
        Put16(file, 0);
        file.insert(file.end(), m.name.begin(), m.name.end());
        file.insert(file.end(), body.begin(), body.end());
        Put32(directory, 0x02014B50);
        Put32(directory, 0x00140014);
        Put16(directory, m.flags);
        Put16(directory, m.method);
        Put32(directory, 0x50D56000);
        Put32(directory, crc);
        Put32(directory, static_cast<uint32_t>(body.size()));
        Put32(directory, static_cast<uint32_t>(m.data.size()));
        Put16(directory, static_cast<uint32_t>(m.name.size()));
        Put32(directory, 0);
        Put32(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory.insert(directory.end(), m.name.begin(), m.name.end());
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(file.size());
    file.insert(file.end(), directory.begin(), directory.end());
    Put32(file, 0x06054B50);
    Put32(file, 0);
    Put16(file, static_cast<uint32_t>(members.size()));
    Put16(file, static_cast<uint32_t>(members.size()));
    Put32(file, static_cast<uint32_t>(directory.size()));
    Put32(file, directoryOffset);
    const std::string comment = withComment ? "comment PK" : "";
    Put16(file, static_cast<uint32_t>(comment.size()));
    file.insert(file.end(), comment.begin(), comment.end());
    return file;
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
    location::ArchiveListing listing;
    if (archive::ListZipArchive(file, &listing)) {
        Check(!listing.entries.empty() && listing.entries.size() <= 65535);
        for (const location::ArchiveEntry& entry : listing.entries) {
            Check(entry.name.size() + entry.folder.size() <= 259);
            Check(entry.name.find_first_of(L"/\\") == std::wstring::npos);
            Check(entry.folder.find(L'/') == std::wstring::npos);
            Check(entry.folder.empty() || entry.folder.back() == L'\\');
            CheckExtract(file, entry.locator);
        }
    } else {
        Check(listing.entries.empty());
    }
    if (size >= 4) {
        uint32_t locator = 0;
        std::memcpy(&locator, data + size - 4, 4);
        CheckExtract(file, locator % (input.size() + 1));
    }
    return 0;
}
