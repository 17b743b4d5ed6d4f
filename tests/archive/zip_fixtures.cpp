#include "tests/archive/zip_fixtures.h"

#include <zlib.h>

#include "common/crc32.h"

namespace testzip {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Deflate(const Bytes& data) {
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

Zip Make(const std::vector<Member>& members, const std::string& comment) {
    Zip zip;
    fixtures::ByteWriter& w = zip.bytes;
    std::vector<Bytes> stored;
    std::vector<uint32_t> crcs, sizes;
    for (const Member& m : members) {
        const Bytes body = m.method == 8 ? Deflate(m.data) : m.data;
        const uint32_t crc = crc::Crc32(m.data.data(), m.data.size()) ^ m.crcXor;
        const uint32_t size = static_cast<uint32_t>(static_cast<int64_t>(m.data.size()) + m.sizeDelta);
        zip.locators.push_back(static_cast<uint32_t>(w.Size()));
        w.U32LE(0x04034B50).U16LE(20).U16LE(static_cast<uint16_t>(m.flags | (m.descriptor ? 8 : 0)));
        w.U16LE(m.method).U16LE(m.time).U16LE(m.date);
        if (m.descriptor)
            w.U32LE(0).U32LE(0).U32LE(0);
        else
            w.U32LE(crc).U32LE(static_cast<uint32_t>(body.size())).U32LE(size);
        w.U16LE(static_cast<uint16_t>(m.name.size())).U16LE(0).Ascii(m.name).Bytes(body);
        if (m.descriptor)
            w.U32LE(0x08074B50).U32LE(crc).U32LE(static_cast<uint32_t>(body.size())).U32LE(size);
        crcs.push_back(crc);
        sizes.push_back(size);
        stored.push_back(body);
    }
    zip.directoryOffset = static_cast<uint32_t>(w.Size());
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        zip.directory.push_back(static_cast<uint32_t>(w.Size()));
        w.U32LE(0x02014B50).U16LE(20).U16LE(20).U16LE(static_cast<uint16_t>(m.flags | (m.descriptor ? 8 : 0)));
        w.U16LE(m.method).U16LE(m.time).U16LE(m.date);
        w.U32LE(crcs[i]).U32LE(static_cast<uint32_t>(stored[i].size())).U32LE(sizes[i]);
        // An extra field and a comment, which the reader must step over.
        w.U16LE(static_cast<uint16_t>(m.name.size())).U16LE(4).U16LE(3);
        w.U16LE(0).U16LE(0).U32LE(0).U32LE(zip.locators[i]);
        w.Ascii(m.name).Bytes({0xCA, 0xFE, 0, 0}).Ascii("c:)");
    }
    const uint32_t directorySize = static_cast<uint32_t>(w.Size()) - zip.directoryOffset;
    const uint16_t count = static_cast<uint16_t>(members.size());
    w.U32LE(0x06054B50).U16LE(0).U16LE(0).U16LE(count).U16LE(count);
    w.U32LE(directorySize).U32LE(zip.directoryOffset).U16LE(static_cast<uint16_t>(comment.size()));
    w.Ascii(comment);
    return zip;
}

} // namespace testzip
