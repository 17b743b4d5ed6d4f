#include "archive/rar_volumes.h"

#include <cstring>

#include "common/path.h"
#include "common/platform.h"

namespace archive {

namespace {

constexpr uint8_t kMarker4[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kMarker5[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
// How far into a file a self-extracting module may push the marker.
constexpr size_t kMarkerSearch = 1 << 20;

// The ".partN" digits of a name.partN.rar: their start and count; false for other names.
bool FindPartDigits(const std::wstring& path, size_t* start, size_t* count) {
    const std::wstring name = paths::LastComponent(path);
    if (name.size() < 4 || !paths::EqualFold(name.substr(name.size() - 4), L".rar"))
        return false;
    const size_t end = path.size() - 4;
    size_t first = end;
    while (first > 0 && path[first - 1] >= L'0' && path[first - 1] <= L'9')
        --first;
    if (first == end || first < 5 || !paths::EqualFold(path.substr(first - 5, 5), L".part"))
        return false;
    *start = first;
    *count = end - first;
    return true;
}

// Old-style extension letters and number: ".r00" -> ('r', 0); ".rar" -> ('a', -1).
bool OldStyleExtension(const std::wstring& path, wchar_t* letter, int* number) {
    const std::wstring name = paths::LastComponent(path);
    if (name.size() < 4 || name[name.size() - 4] != L'.')
        return false;
    const wchar_t* ext = name.c_str() + name.size() - 3;
    if (paths::EqualFold(std::wstring(ext), L"rar")) {
        *letter = 0;
        *number = -1;
        return true;
    }
    const wchar_t l = paths::FoldAscii(ext[0]);
    if (l < L'r' || l > L'z' || ext[1] < L'0' || ext[1] > L'9' || ext[2] < L'0' || ext[2] > L'9')
        return false;
    *letter = l;
    *number = (ext[1] - L'0') * 10 + (ext[2] - L'0');
    return true;
}

// Reads a RAR 5 variable-length integer; false when it runs past the end.
bool ReadVint(const uint8_t* data, size_t size, size_t* pos, uint64_t* value) {
    *value = 0;
    for (unsigned shift = 0; shift < 64 && *pos < size; shift += 7) {
        const uint8_t b = data[(*pos)++];
        *value |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

uint32_t U32At(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(platform::File& file, uint64_t offset, void* out, size_t size) {
    return file.Seek(offset) && file.ReadExact(out, size);
}

// Where the marker sits and which format follows (4 or 5); 0 when there is none. Most archives
// start with it; only a self-extracting one makes the search read further.
int FindMarker(platform::File& file, uint64_t* at) {
    uint8_t start[sizeof kMarker5];
    if (file.Seek(0) && file.ReadExact(start, sizeof start) && std::memcmp(start, kMarker4, 6) == 0) {
        *at = 0;
        if (start[6] == 0x00)
            return 4;
        return std::memcmp(start, kMarker5, sizeof kMarker5) == 0 ? 5 : 0;
    }
    std::vector<uint8_t> head(kMarkerSearch);
    const size_t n = file.Seek(0) ? file.Read(head.data(), head.size()) : 0;
    for (size_t i = 0; i + sizeof kMarker5 <= n; ++i) {
        if (head[i] != 0x52 || std::memcmp(&head[i], kMarker4, 6) != 0)
            continue;
        *at = i;
        if (head[i + 6] == 0x00)
            return 4;
        if (std::memcmp(&head[i], kMarker5, sizeof kMarker5) == 0)
            return 5;
    }
    return 0;
}

// RAR 4: main header flags at marker + 7 (type 0x73). `more`: the end block of this volume says
// another follows. The blocks are walked by their sizes only.
// A member's record: a new one for its first part, the CRC of its last part (the whole member's).
// `stored`: unpacked, not encrypted, `packed` bytes at `offset`.
void Record(std::vector<RarRecord>* records, bool continued, bool continues, uint64_t size, uint32_t crc, bool hasCrc,
            bool stored, uint64_t packed, uint64_t offset) {
    if (!records)
        return;
    if (continued && records->empty()) {
        // The set starts inside a member (a later volume taken for a whole set): the reader lists that
        // member too, so it gets a record, one with nothing to check, to keep the ordinals in step.
        RarRecord r;
        r.size = size;
        records->push_back(r);
        return;
    }
    if (!continued) {
        RarRecord r;
        r.size = size;
        r.stored = stored && !continues && packed == size;
        r.offset = offset;
        records->push_back(r);
    }
    if (!continues && !records->empty()) {
        records->back().crc = crc;
        records->back().hasCrc = hasCrc;
    }
}

bool WalkRar4(platform::File& file, uint64_t pos, uint32_t* flags, bool* more, std::vector<RarRecord>* records) {
    uint8_t h[40];
    if (!ReadAt(file, pos, h, 7) || h[2] != 0x73)
        return false;
    *flags = static_cast<uint32_t>(h[3] | (h[4] << 8)) & 0x1FF;
    if (!more && !records)
        return true;
    if (more)
        *more = false;
    uint64_t size = 0;
    if (!file.Size(&size))
        return false;
    pos += static_cast<uint32_t>(h[5] | (h[6] << 8));
    while (pos + 7 <= size) {
        if (!ReadAt(file, pos, h, 7))
            return false;
        const uint16_t blockFlags = static_cast<uint16_t>(h[3] | (h[4] << 8));
        const uint16_t headSize = static_cast<uint16_t>(h[5] | (h[6] << 8));
        if (headSize < 7)
            return false;
        if (h[2] == 0x7B) {
            if (more)
                *more = (blockFlags & 0x0001) != 0;
            return true;
        }
        uint64_t add = 0;
        if (blockFlags & 0x8000) {
            const bool fileBlock = h[2] == 0x74;
            const size_t fixed = fileBlock ? ((blockFlags & 0x0100) ? 40 : 32) : 11;
            if (headSize < fixed || !ReadAt(file, pos + 7, h + 7, fixed - 7))
                return false;
            add = U32At(h + 7);
            if (fileBlock) {
                uint64_t unpacked = U32At(h + 11);
                if (blockFlags & 0x0100) {
                    add |= static_cast<uint64_t>(U32At(h + 32)) << 32;
                    unpacked |= static_cast<uint64_t>(U32At(h + 36)) << 32;
                }
                // Method 0x30 is store; flag 0x04 a password.
                const bool stored = h[25] == 0x30 && !(blockFlags & 0x0004);
                Record(records, (blockFlags & 0x0001) != 0, (blockFlags & 0x0002) != 0, unpacked, U32At(h + 16), true,
                       stored, add, pos + headSize);
            }
        }
        pos += headSize + add;
    }
    return true; // old volumes may end without an end block
}

// RAR 5: the main header (type 1) follows the marker; its archive flags give volume (0x1) and
// "volume number present", which only later volumes carry (0x2), and solid (0x4). RAR 5 names volumes
// the new way.
bool WalkRar5(platform::File& file, uint64_t pos, uint32_t* flags, bool* more, std::vector<RarRecord>* records) {
    uint64_t size = 0;
    if (!file.Size(&size))
        return false;
    bool sawMain = false;
    if (more)
        *more = false;
    while (pos + 7 <= size) {
        uint8_t h[64];
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof h, size - pos));
        if (!ReadAt(file, pos, h, n))
            return false;
        size_t p = 4; // CRC
        uint64_t headSize = 0, type = 0, headFlags = 0, extra = 0, data = 0;
        if (!ReadVint(h, n, &p, &headSize))
            return false;
        const uint64_t bodyStart = pos + p;
        if (!ReadVint(h, n, &p, &type) || !ReadVint(h, n, &p, &headFlags))
            return false;
        if ((headFlags & 1) && !ReadVint(h, n, &p, &extra))
            return false;
        if ((headFlags & 2) && !ReadVint(h, n, &p, &data))
            return false;
        if (type == 4) // encrypted headers: nothing more can be read without the password
            return sawMain;
        if (!sawMain) {
            uint64_t archiveFlags = 0;
            if (type != 1 || !ReadVint(h, n, &p, &archiveFlags))
                return false;
            sawMain = true;
            *flags = 0;
            if (archiveFlags & 1)
                *flags |= rarflags::kVolume | rarflags::kNewNumbering | ((archiveFlags & 2) ? 0 : rarflags::kFirstVolume);
            if (archiveFlags & 4)
                *flags |= rarflags::kSolid;
            if (!more && !records)
                return true;
        } else if (type == 5) {
            uint64_t endFlags = 0;
            if (!ReadVint(h, n, &p, &endFlags))
                return false;
            if (more)
                *more = (endFlags & 1) != 0;
            return true;
        } else if (type == 2) {
            // File header: flags, unpacked size, attributes, [time], [data CRC].
            uint64_t fileFlags = 0, unpacked = 0, attributes = 0;
            if (!ReadVint(h, n, &p, &fileFlags) || !ReadVint(h, n, &p, &unpacked) || !ReadVint(h, n, &p, &attributes))
                return false;
            if (fileFlags & 0x2)
                p += 4;
            const bool hasCrc = (fileFlags & 0x4) != 0;
            if (hasCrc && p + 4 > n)
                return false;
            const uint32_t crc = hasCrc ? U32At(h + p) : 0;
            // Compression information: the method in bits 7-9, 0 for store. Encryption is an extra
            // record not read here; an encrypted member fails the recorded CRC instead.
            size_t q = p + (hasCrc ? 4 : 0);
            uint64_t compression = 0;
            const bool stored = ReadVint(h, n, &q, &compression) && ((compression >> 7) & 7) == 0;
            Record(records, (headFlags & 0x08) != 0, (headFlags & 0x10) != 0, unpacked, crc, hasCrc, stored, data,
                   bodyStart + headSize);
        }
        if (headSize > size || data > size)
            return false;
        pos = bodyStart + headSize + data;
    }
    return sawMain;
}

bool ReadFlags(const std::wstring& path, uint32_t* flags, bool* more, std::vector<RarRecord>* records = nullptr) {
    platform::File file;
    uint64_t at = 0;
    if (!file.Open(path, platform::OpenMode::ReadShared))
        return false;
    switch (FindMarker(file, &at)) {
    case 4: return WalkRar4(file, at + 7, flags, more, records);
    case 5: return WalkRar5(file, at + 8, flags, more, records);
    default: return false;
    }
}

} // namespace

RarProbe ProbeFromFlags(uint32_t flags) {
    if (!(flags & rarflags::kVolume))
        return kRarNotVolume;
    if (!(flags & rarflags::kNewNumbering))
        return kRarOldVolume;
    return (flags & rarflags::kFirstVolume) ? kRarFirstVolume : kRarLaterVolume;
}

bool ReadRarMainFlags(const std::wstring& path, uint32_t* flags) { return ReadFlags(path, flags, nullptr); }

RarProbe ProbeRarFile(const std::wstring& path) {
    uint32_t flags = 0;
    return ReadRarMainFlags(path, &flags) ? ProbeFromFlags(flags) : kRarNotVolume;
}

std::wstring FirstRarVolume(const std::wstring& path, RarProbe probe) {
    size_t start = 0, count = 0;
    if (probe == kRarLaterVolume && FindPartDigits(path, &start, &count)) {
        // The set's own width: part07 of a set of ten starts at part01. A set numbered without
        // padding (part1 ... part18) has no part01: its first volume is part1.
        std::wstring first = path;
        first.replace(start, count, std::wstring(count - 1, L'0') + L"1");
        if (count > 1 && !platform::FileExists(first)) {
            std::wstring plain = path;
            plain.replace(start, count, L"1");
            if (platform::FileExists(plain))
                return plain;
        }
        return first;
    }
    wchar_t letter = 0;
    int number = 0;
    if (probe == kRarOldVolume && OldStyleExtension(path, &letter, &number) && number >= 0)
        return path.substr(0, path.size() - 3) + L"rar";
    return path;
}

std::wstring NextRarVolume(const std::wstring& path, bool newNumbering) {
    size_t start = 0, count = 0;
    if (newNumbering) {
        if (!FindPartDigits(path, &start, &count))
            return std::wstring();
        std::wstring next = path;
        size_t i = start + count;
        while (i > start) {
            --i;
            if (next[i] != L'9') {
                ++next[i];
                return next;
            }
            next[i] = L'0';
        }
        next.insert(start, 1, L'1'); // part99 -> part100
        return next;
    }
    wchar_t letter = 0;
    int number = 0;
    if (!OldStyleExtension(path, &letter, &number))
        return std::wstring();
    std::wstring next = path.substr(0, path.size() - 3);
    if (number < 0) {
        letter = L'r';
        number = 0;
    } else if (++number > 99) {
        if (letter == L'z')
            return std::wstring();
        ++letter;
        number = 0;
    }
    next += letter;
    next += static_cast<wchar_t>(L'0' + number / 10);
    next += static_cast<wchar_t>(L'0' + number % 10);
    return next;
}

std::vector<std::wstring> RarVolumeSet(const std::wstring& first, RarProbe probe, bool* complete) {
    std::vector<std::wstring> volumes{first};
    bool more = false;
    uint32_t flags = 0;
    if (probe != kRarNotVolume) {
        // A set of more than a few thousand volumes is not one anybody made.
        constexpr size_t kMaxVolumes = 4096;
        const bool newNumbering = probe != kRarOldVolume;
        for (;;) {
            if (!ReadFlags(volumes.back(), &flags, &more) || !more || volumes.size() >= kMaxVolumes)
                break;
            const std::wstring next = NextRarVolume(volumes.back(), newNumbering);
            if (next.empty() || !platform::FileExists(next))
                break;
            volumes.push_back(next);
            more = false;
        }
    }
    if (complete)
        *complete = !more;
    return volumes;
}

std::vector<RarRecord> RarRecords(const std::vector<std::wstring>& volumes) {
    std::vector<RarRecord> records;
    for (size_t v = 0; v < volumes.size(); ++v) {
        uint32_t flags = 0;
        bool more = false;
        const size_t before = records.size();
        const bool read = ReadFlags(volumes[v], &flags, &more, &records);
        for (size_t i = before; i < records.size(); ++i)
            records[i].volume = static_cast<uint32_t>(v);
        if (!read)
            break;
    }
    return records;
}

std::wstring RarBaseName(const std::wstring& path, RarProbe probe) {
    std::wstring name = paths::LastComponent(path);
    for (int cuts = probe > kRarOldVolume ? 2 : 1; cuts > 0; --cuts) {
        const size_t dot = name.rfind(L'.');
        if (dot == std::wstring::npos || dot == 0)
            break;
        name.resize(dot);
    }
    return name;
}

} // namespace archive
