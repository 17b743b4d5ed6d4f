#include "tests/archive/rar_suite.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/platform.h"
#include "tests/fixtures/byte_writer.h"

#ifndef QUORLE_RAR_SUITE
#error "QUORLE_RAR_SUITE must name the folder of libarchive's test archives"
#endif

namespace rarsuite {

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool Vint(const std::vector<uint8_t>& d, size_t* pos, uint64_t* value) {
    *value = 0;
    for (unsigned shift = 0; shift < 64 && *pos < d.size(); shift += 7) {
        const uint8_t b = d[(*pos)++];
        *value |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

std::wstring Slashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The RAR 4 name after its zero byte: UTF-16 coded against the ANSI form before it.
std::wstring DecodeUnicodeName(const uint8_t* name, size_t size) {
    size_t ansiLength = 0;
    while (ansiLength < size && name[ansiLength])
        ++ansiLength;
    const uint8_t* enc = name + ansiLength + 1;
    const size_t encSize = size - ansiLength - 1;
    std::wstring out;
    if (encSize == 0)
        return out;
    size_t pos = 0;
    const unsigned high = enc[pos++];
    unsigned flags = 0;
    int bits = 0;
    while (pos < encSize) {
        if (bits == 0) {
            flags = enc[pos++];
            bits = 8;
        }
        bits -= 2;
        const unsigned code = (flags >> bits) & 3;
        if (code == 0 && pos < encSize) {
            out += static_cast<wchar_t>(enc[pos++]);
        } else if (code == 1 && pos < encSize) {
            out += static_cast<wchar_t>(high << 8 | enc[pos++]);
        } else if (code == 2 && pos + 1 < encSize) {
            out += static_cast<wchar_t>(enc[pos] | enc[pos + 1] << 8);
            pos += 2;
        } else if (code == 3 && pos < encSize) {
            const unsigned length = enc[pos++];
            if (length & 0x80) {
                if (pos >= encSize)
                    break;
                const unsigned correction = enc[pos++];
                for (unsigned i = 0; i < (length & 0x7F) + 2 && out.size() < ansiLength; ++i)
                    out += static_cast<wchar_t>(high << 8 | ((name[out.size()] + correction) & 0xFF));
            } else {
                for (unsigned i = 0; i < length + 2 && out.size() < ansiLength; ++i)
                    out += static_cast<wchar_t>(name[out.size()]);
            }
        } else {
            break;
        }
    }
    return out;
}

void Rar4(const std::vector<uint8_t>& d, size_t pos, std::vector<Recorded>* out) {
    pos += 7;
    while (pos + 7 <= d.size()) {
        const uint8_t type = d[pos + 2];
        const uint16_t flags = U16(&d[pos + 3]);
        const uint16_t headSize = U16(&d[pos + 5]);
        if (headSize < 7 || pos + headSize > d.size())
            return;
        uint64_t add = (flags & 0x8000) ? U32(&d[pos + 7]) : 0;
        if (type == 0x74) {
            const uint8_t* h = &d[pos];
            const bool high = (flags & 0x0100) != 0;
            if (high)
                add |= static_cast<uint64_t>(U32(h + 32)) << 32;
            const bool folder = (flags & 0x00E0) == 0x00E0;
            const bool lastPart = !(flags & 0x0002);
            const bool link = h[15] == 3 && (U32(h + 28) & 0xF000) == 0xA000; // Unix host, symbolic link
            if (!folder && lastPart && !link) {
                Recorded r;
                r.size = U32(h + 11) | (high ? static_cast<uint64_t>(U32(h + 36)) << 32 : 0);
                r.crc = U32(h + 16);
                r.hasCrc = true;
                const size_t nameAt = high ? 40 : 32;
                const size_t nameSize = U16(h + 26);
                std::string name(reinterpret_cast<const char*>(h + nameAt), nameSize);
                const size_t zero = std::strlen(name.c_str());
                if (!(flags & 0x0200)) {
                    r.path = platform::AnsiToWide(name.substr(0, zero));
                    r.codePageName = std::any_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(zero),
                                                 [](char c) { return (c & 0x80) != 0; });
                }
                else if (zero == nameSize)
                    r.path = platform::Utf8ToWide(name);
                else
                    r.path = DecodeUnicodeName(h + nameAt, nameSize);
                r.path = Slashes(r.path);
                out->push_back(r);
            }
        }
        if (type == 0x7B)
            return;
        pos += headSize + add;
    }
}

void Rar5(const std::vector<uint8_t>& d, size_t pos, std::vector<Recorded>* out) {
    pos += 8;
    while (pos + 7 <= d.size()) {
        size_t p = pos + 4;
        uint64_t headSize = 0, type = 0, headFlags = 0, extra = 0, data = 0;
        if (!Vint(d, &p, &headSize))
            return;
        const size_t bodyStart = p;
        if (!Vint(d, &p, &type) || !Vint(d, &p, &headFlags))
            return;
        if ((headFlags & 1) && !Vint(d, &p, &extra))
            return;
        if ((headFlags & 2) && !Vint(d, &p, &data))
            return;
        if (type == 2 && !(headFlags & 0x10)) {
            uint64_t fileFlags = 0, size = 0, attributes = 0, compression = 0, host = 0, nameLength = 0;
            Vint(d, &p, &fileFlags);
            Vint(d, &p, &size);
            Vint(d, &p, &attributes);
            Recorded r;
            if (fileFlags & 0x2)
                p += 4;
            if (fileFlags & 0x4) {
                r.crc = U32(&d[p]);
                r.hasCrc = true;
                p += 4;
            }
            Vint(d, &p, &compression);
            Vint(d, &p, &host);
            Vint(d, &p, &nameLength);
            r.size = size;
            r.path = Slashes(platform::Utf8ToWide(std::string(reinterpret_cast<const char*>(&d[p]), nameLength)));
            // A redirection record (type 5) in the extra area makes the member a link.
            bool link = false;
            for (size_t e = bodyStart + headSize - extra; e < bodyStart + headSize;) {
                uint64_t recordSize = 0, recordType = 0;
                size_t q = e;
                if (!Vint(d, &q, &recordSize) || recordSize == 0)
                    break;
                const size_t next = q + recordSize;
                if (Vint(d, &q, &recordType) && recordType == 5)
                    link = true;
                e = next;
            }
            if (!(fileFlags & 0x1) && !link)
                out->push_back(r);
        }
        if (type == 5)
            return;
        pos = bodyStart + headSize + data;
    }
}

} // namespace

std::wstring SuiteFolder() { return platform::Utf8ToWide(QUORLE_RAR_SUITE); }

bool Decode(const std::string& name, const std::wstring& folder) {
    const std::vector<uint8_t> text = fixtures::ReadWholeFile(SuiteFolder() + L"\\" + platform::Utf8ToWide(name) + L".uu");
    std::istringstream in(std::string(text.begin(), text.end()));
    std::string line;
    bool begun = false;
    std::vector<uint8_t> out;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!begun) {
            begun = line.compare(0, 6, "begin ") == 0;
            continue;
        }
        if (line == "end" || line.empty())
            break;
        const size_t count = static_cast<size_t>((line[0] - 0x20) & 0x3F);
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i + 3 < line.size() + 3 && bytes.size() < count; i += 4) {
            uint8_t c[4];
            for (size_t k = 0; k < 4; ++k)
                c[k] = static_cast<uint8_t>(((i + k < line.size() ? line[i + k] : ' ') - 0x20) & 0x3F);
            bytes.push_back(static_cast<uint8_t>(c[0] << 2 | c[1] >> 4));
            bytes.push_back(static_cast<uint8_t>(c[1] << 4 | c[2] >> 2));
            bytes.push_back(static_cast<uint8_t>(c[2] << 6 | c[3]));
        }
        bytes.resize(std::min(bytes.size(), count));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return begun && !out.empty() && fixtures::ByteWriter().Bytes(out).SaveTo(folder + L"\\" + platform::Utf8ToWide(name));
}

std::vector<Recorded> RecordedMembers(const std::vector<std::wstring>& volumes) {
    std::vector<Recorded> members;
    for (const std::wstring& volume : volumes) {
        const std::vector<uint8_t> d = fixtures::ReadWholeFile(volume);
        static const uint8_t kMarker[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
        const auto at = std::search(d.begin(), d.end(), kMarker, kMarker + 6);
        if (at == d.end() || at + 8 > d.end())
            continue;
        const size_t pos = static_cast<size_t>(at - d.begin());
        if (d[pos + 6] == 0)
            Rar4(d, pos, &members);
        else
            Rar5(d, pos, &members);
    }
    return members;
}

} // namespace rarsuite
