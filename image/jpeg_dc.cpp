// The walk over a progressive file's markers that keeps everything but its AC scans.
//
// Layout it expects: SOI, segments (tables, APPn, COM) up to one SOF2, more segments, then scans,
// each an SOS segment followed by entropy-coded data that ends at the first FF byte followed by
// neither 00 (stuffing), D0..D7 (restart) nor FF (fill), with table segments allowed between scans,
// and finally EOI. Everything the library might read differently from a plain walk (a second frame,
// DNL, stray bytes between segments, a segment running past the data) refuses the path, and the
// caller decodes the whole file as before; nothing here is trusted beyond the bounds it checked.
#include "image/jpeg_dc.h"

#include <cstring>

#include "image/jpeg.h"

namespace image {

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDht = 0xC4, kDac = 0xCC, kDqt = 0xDB, kDri = 0xDD,
                  kCom = 0xFE, kSof2 = 0xC2;

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

bool IsSof(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != kDht && m != kDac && m != 0xC8; }
bool IsArithmeticSof(uint8_t m) { return m >= 0xC9 && m <= 0xCB; }
bool IsKeptTable(uint8_t m) { return m == kDht || m == kDqt || m == kDri || m == kCom || (m >= 0xE0 && m <= 0xEF); }

struct Walk {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t* out;
    size_t used = 0;

    void Copy(size_t from, size_t to) {
        std::memcpy(out + used, data + from, to - from);
        used += to - from;
    }
    // The marker at pos (after any fill bytes); false when none starts there.
    bool NextMarker(uint8_t* marker) {
        if (pos >= size || data[pos] != 0xFF)
            return false;
        while (pos < size && data[pos] == 0xFF)
            ++pos;
        if (pos >= size)
            return false;
        *marker = data[pos++];
        return true;
    }
    // End of the entropy-coded data from pos: the offset of the FF that starts the next marker, or
    // size when the data ends first.
    size_t ScanEnd() const {
        size_t at = pos;
        while (at < size) {
            const void* ff = std::memchr(data + at, 0xFF, size - at);
            if (!ff)
                return size;
            at = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
            if (at + 1 >= size)
                return size;
            const uint8_t next = data[at + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                at += 2;
            else if (next == 0xFF)
                at += 1;
            else
                break;
        }
        // Fill bytes before the marker belong to neither side.
        while (at > pos && data[at - 1] == 0xFF)
            --at;
        return at;
    }
};

struct Frame {
    uint32_t width = 0, height = 0;
    int components = 0;
    uint8_t ids[4] = {};
    uint8_t h[4] = {}, v[4] = {};
    bool dcSeen[4] = {};
    // Per component, the highest zigzag position the library's reduced transform reads: 0 for the
    // 1 x 1 one, more where it scales a subsampled component up in the transform instead of upsampling.
    int lastZigzag[4] = {};
};

// The library's choice of transform size at 1/8 (jdmaster.c): doubled while the component's
// subsampling is a power of two it can absorb.
int TransformSize(int maxH, int maxV, int h, int v) {
    int size = 1;
    while (size < 8 && maxH % (h * size * 2) == 0 && maxV % (v * size * 2) == 0)
        size *= 2;
    return size;
}

// Highest zigzag position of a coefficient in the top-left size x size corner.
int LastZigzagOfCorner(int size) { return size >= 8 ? 63 : (size == 4 ? 24 : (size == 2 ? 4 : 0)); }

} // namespace

JpegDcRefusal BuildJpegDcStream(const uint8_t* data, size_t size, uint32_t box_width, uint32_t box_height,
                                JpegDcStream* out) {
    *out = JpegDcStream();
    if (!data || size < 4 || data[0] != 0xFF || data[1] != kSoi)
        return JpegDcRefusal::Malformed;

    // A cheap first walk up to the frame header, so that files which do not qualify cost nothing.
    Frame frame;
    {
        Walk probe{data, size, 2, nullptr};
        uint8_t m = 0;
        for (;;) {
            if (!probe.NextMarker(&m))
                return JpegDcRefusal::Malformed;
            if (m == kSos || m == kEoi || m == kSoi || (m >= 0xD0 && m <= 0xD7) || m == 0x01)
                return JpegDcRefusal::Malformed;
            if (probe.pos + 2 > size)
                return JpegDcRefusal::Truncated;
            const uint32_t length = Be16(data + probe.pos);
            if (length < 2 || length > size - probe.pos)
                return JpegDcRefusal::Truncated;
            if (m == kDac)
                return JpegDcRefusal::Arithmetic;
            if (IsSof(m)) {
                if (IsArithmeticSof(m))
                    return JpegDcRefusal::Arithmetic;
                if (m != kSof2)
                    return JpegDcRefusal::NotProgressive;
                const uint8_t* p = data + probe.pos;
                if (length < 8 || p[2] != 8)
                    return JpegDcRefusal::Malformed;
                frame.height = Be16(p + 3);
                frame.width = Be16(p + 5);
                frame.components = p[7];
                if (frame.components < 1 || frame.components > 4 ||
                    length != 8u + 3u * static_cast<uint32_t>(frame.components) || frame.height == 0 ||
                    frame.width == 0)
                    return JpegDcRefusal::Malformed;
                int maxH = 1, maxV = 1;
                for (int c = 0; c < frame.components; ++c) {
                    frame.ids[c] = p[8 + 3 * c];
                    frame.h[c] = p[9 + 3 * c] >> 4;
                    frame.v[c] = p[9 + 3 * c] & 15;
                    if (frame.h[c] < 1 || frame.h[c] > 4 || frame.v[c] < 1 || frame.v[c] > 4)
                        return JpegDcRefusal::Malformed;
                    maxH = frame.h[c] > maxH ? frame.h[c] : maxH;
                    maxV = frame.v[c] > maxV ? frame.v[c] : maxV;
                }
                for (int c = 0; c < frame.components; ++c)
                    frame.lastZigzag[c] = LastZigzagOfCorner(TransformSize(maxH, maxV, frame.h[c], frame.v[c]));
                break;
            }
            probe.pos += length;
        }
    }
    if (JpegScaleDenominator(box_width, box_height, frame.width, frame.height) != 8)
        return JpegDcRefusal::NotEighth;

    // The copy never outgrows the file: segments are dropped, and EOI takes the place of one.
    platform::PageBlock block(size + 2);
    if (!block)
        return JpegDcRefusal::NoMemory;
    Walk walk{data, size, 2, block.Get()};
    walk.Copy(0, 2);
    bool sawFrame = false, sawScan = false, ended = false;
    uint32_t keptScans = 0, skipped = 0;
    while (!ended) {
        const size_t start = walk.pos;
        uint8_t m = 0;
        if (!walk.NextMarker(&m)) {
            // Only a file cut after a whole scan gets here without its EOI.
            if (walk.pos >= size && sawScan)
                break;
            return JpegDcRefusal::Malformed;
        }
        if (m == kEoi) {
            ended = true;
            break;
        }
        if (m == kSoi || (m >= 0xD0 && m <= 0xD7) || m == 0x01)
            return JpegDcRefusal::Malformed;
        if (walk.pos + 2 > size) {
            if (sawScan)
                break;
            return JpegDcRefusal::Truncated;
        }
        const uint32_t length = Be16(data + walk.pos);
        if (length < 2)
            return JpegDcRefusal::Malformed;
        if (length > size - walk.pos) {
            // A table cut short would be read differently by the library: let it read the file.
            return JpegDcRefusal::Truncated;
        }
        const size_t segmentEnd = walk.pos + length;
        if (m == kDac)
            return JpegDcRefusal::Arithmetic;
        if (IsSof(m)) {
            if (sawFrame || m != kSof2)
                return JpegDcRefusal::Malformed;
            sawFrame = true;
            walk.pos = segmentEnd;
            walk.Copy(start, segmentEnd);
            continue;
        }
        if (m != kSos) {
            if (!IsKeptTable(m))
                return JpegDcRefusal::Malformed;
            walk.pos = segmentEnd;
            // Tables between scans may serve later DC scans; the rest of the segments are small.
            walk.Copy(start, segmentEnd);
            continue;
        }
        if (!sawFrame)
            return JpegDcRefusal::Malformed;
        const uint8_t* p = data + walk.pos;
        const uint32_t ns = length >= 3 ? p[2] : 0;
        if (ns < 1 || ns > 4 || length != 6u + 2u * ns)
            return JpegDcRefusal::Malformed;
        const uint8_t ss = p[3 + 2 * ns], se = p[4 + 2 * ns], ah = p[5 + 2 * ns] >> 4;
        const bool dc = ss == 0;
        if (dc && se != 0)
            return JpegDcRefusal::Malformed;
        // AC scans carry one component; the transform of a subsampled one may read its first terms.
        bool wanted = dc;
        for (int c = 0; !dc && c < frame.components; ++c)
            if (frame.ids[c] == p[3] && ss <= frame.lastZigzag[c])
                wanted = true;
        if (!sawScan && !dc)
            return JpegDcRefusal::NoDcFirst;
        sawScan = true;
        walk.pos = segmentEnd;
        const size_t dataEnd = walk.ScanEnd();
        const bool cut = dataEnd >= size;
        if (wanted) {
            if (cut)
                return JpegDcRefusal::Truncated;
            if (ah == 0) {
                for (uint32_t i = 0; i < ns; ++i)
                    for (int c = 0; c < frame.components; ++c)
                        if (frame.ids[c] == p[3 + 2 * i])
                            frame.dcSeen[c] = true;
            }
            walk.Copy(start, dataEnd);
            ++keptScans;
        } else {
            ++skipped;
        }
        walk.pos = dataEnd;
        if (cut)
            break;
    }
    for (int c = 0; c < frame.components; ++c)
        if (!frame.dcSeen[c])
            return JpegDcRefusal::NoDcFirst;
    walk.out[walk.used++] = 0xFF;
    walk.out[walk.used++] = kEoi;
    out->size = walk.used;
    out->block = std::move(block);
    out->width = frame.width;
    out->height = frame.height;
    out->kept_scans = keptScans;
    out->skipped_scans = skipped;
    return JpegDcRefusal::None;
}

} // namespace image
