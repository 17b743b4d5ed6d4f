// The marker walk over a JPEG's segments, and the comment (COM) operations built on it.
//
// A segment is FF, a marker byte, then (for all but the stand-alone markers SOI, RSTn and TEM) a
// big-endian length that counts itself. Bytes between segments are skipped up to the next FF, and
// runs of FF are fill. The walk ends at the start of the scan (DA) or the end of the image (D9).
//
// Damage policy: an APP1 segment that runs past the data ends the scan quietly; any other segment
// with a length below 2 or past the data ends it with status 50004 and keeps what was found. Offsets
// inside an Exif block are never followed beyond its segment.
#include <algorithm>
#include <cstring>

#include "common/byte_cursor.h"
#include "image/jpeg.h"

namespace image {

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1, kCom = 0xFE;
constexpr size_t kMaxCommentBytes = 4095;
constexpr size_t kMaxConvertedBytes = 4096;

struct Marker {
    uint8_t code;
    size_t start;      // offset of the FF just before the code
    size_t length_at;  // offset of the length field
    uint32_t length;   // 0 when fewer than 2 bytes follow
    bool has_length;
    bool fits;         // length >= 2 and the whole segment lies inside the data
};

bool StandAlone(uint8_t code) { return code == kSoi || code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

// Finds the next marker; false at the end of the data. The cursor is left after the length field;
// callers move it to the segment's end (or stop) before looking for the next marker.
bool NextMarker(bytes::ByteCursor& w, Marker* m) {
    while (w.Has(1) && *w.Here() != 0xFF)
        w.Skip(1);
    while (w.Has(1) && *w.Here() == 0xFF)
        w.Skip(1);
    if (!w.Has(1))
        return false;
    m->start = w.Pos() - 1;
    m->code = w.U8();
    m->length_at = w.Pos();
    m->has_length = false;
    m->length = 0;
    m->fits = false;
    if (StandAlone(m->code) || m->code == kEoi || m->code == kSos)
        return true;
    if (w.Has(2)) {
        m->has_length = true;
        m->length = w.U16BE();
        m->fits = m->length >= 2 && m->length - 2u <= w.Left();
    }
    return true;
}

uint16_t Read16LE(const uint8_t* p) { return bytes::LoadU16LE(p); }
uint16_t Read16BE(const uint8_t* p) { return bytes::LoadU16BE(p); }
uint32_t Read32LE(const uint8_t* p) { return bytes::LoadU32LE(p); }
uint32_t Read32BE(const uint8_t* p) { return bytes::LoadU32BE(p); }

// Sets up the Exif view of one APP1 payload and places the cursor at the first IFD.
void EnterExif(JpegContext& ctx, const uint8_t* tiff, size_t tiff_size) {
    const bool little = tiff_size >= 2 && tiff[0] == 0x49 && tiff[1] == 0x49;
    ctx.byte_order = little ? 0 : 1;
    ctx.read16 = little ? Read16LE : Read16BE;
    ctx.read32 = little ? Read32LE : Read32BE;
    ctx.tiff_base = tiff;
    ctx.exif_end = tiff + tiff_size;
    ctx.src.cursor = ctx.exif_end;
    bytes::ByteCursor in(tiff, tiff_size);
    in.Skip(4); // byte order, 42
    const uint32_t offset = in.U32(!little);
    if (in.Ok() && offset <= tiff_size)
        ctx.src.cursor = tiff + offset;
}

// Comment text as the dialog shows it: escape bytes dropped, bare LF turned into CR LF.
std::string CommentText(const uint8_t* p, size_t n) {
    std::string text;
    n = std::min(n, kMaxCommentBytes);
    for (size_t i = 0; i < n && text.size() < kMaxConvertedBytes; ++i) {
        const char c = static_cast<char>(p[i]);
        if (c == 0x1B)
            continue;
        if (c == '\n' && (text.empty() || text.back() != '\r')) {
            text.push_back('\r');
            if (text.size() >= kMaxConvertedBytes)
                break;
        }
        text.push_back(c);
    }
    return text;
}

int FailWrite(JpegContext& ctx) {
    ctx.src.status = status::kWriteFailed;
    return -1;
}

} // namespace

uint32_t JpegScanMarkers(JpegContext& ctx, const JpegMarkerHooks& hooks) {
    if (!ctx.src.begin)
        return 0;
    bytes::ByteCursor w(ctx.src.begin, SourceSize(ctx.src));
    uint32_t result = 0;
    Marker m;
    while (NextMarker(w, &m)) {
        if (m.code == kEoi || m.code == kSos)
            return result;
        if (StandAlone(m.code))
            continue;
        if (m.code == kApp1 && !m.fits && (!m.has_length || m.length >= 2))
            return result;
        if (m.code == kCom && hooks.on_comment)
            hooks.on_comment(ctx, hooks.user);
        if (!m.fits) {
            ctx.src.status = status::kCannotRead;
            return result;
        }
        if (m.code == kApp1) {
            const uint8_t* payload = w.Data() + m.length_at + 2;
            const size_t size = m.length - 2u;
            static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
            if (size >= 6 && std::memcmp(payload, kExif, 6) == 0) {
                ctx.exif = true;
                ctx.exif_length = m.length;
                EnterExif(ctx, payload + 6, size - 6);
                if (hooks.on_exif)
                    result = hooks.on_exif(ctx, hooks.user);
                if (hooks.stop_after_exif && hooks.stop_after_exif(ctx, hooks.user))
                    return result;
            }
        }
        w.Seek(m.length_at + m.length);
    }
    return result;
}

uint32_t JpegOrientationHandler(JpegContext& ctx, void*) {
    const uint8_t* p = ctx.src.cursor;
    const uint8_t* end = ctx.exif_end;
    if (!p || !end || end - p < 2)
        return 1;
    const bool big = ctx.byte_order != 0;
    bytes::ByteCursor in(p, static_cast<size_t>(end - p));
    const uint32_t count = in.U16(big);
    for (uint32_t i = 0; i < count && in.Has(12); ++i) {
        const uint16_t tag = in.U16(big);
        in.Skip(6); // type, count
        const uint32_t v = in.U16(big);
        in.Skip(2);
        if (tag != 274)
            continue;
        return (v == 1 || v == 3 || v == 6 || v == 8) ? v : 1;
    }
    return 1;
}

bool ReadJpegComment(JpegContext& ctx, const std::wstring& path, std::wstring* out) {
    ctx.src.status = status::kOk;
    platform::MappedView view;
    if (!view.Open(path)) {
        ctx.src.status = status::kCannotRead;
        return false;
    }
    bytes::ByteCursor w(view.Data(), view.Size());
    Marker m;
    while (NextMarker(w, &m)) {
        if (m.code == kEoi || m.code == kSos)
            break;
        if (StandAlone(m.code))
            continue;
        if (m.code == kCom && m.has_length && m.length <= 2) {
            // An empty comment, or a length too small to be one: look further.
            w.Seek(m.length_at + 2);
            continue;
        }
        if (!m.fits) {
            ctx.src.status = status::kCannotRead;
            break;
        }
        if (m.code == kCom) {
            const std::string text = CommentText(w.Data() + m.length_at + 2, m.length - 2u);
            *out = platform::AnsiToWide(text);
            break;
        }
        w.Seek(m.length_at + m.length);
    }
    return true;
}

int WriteJpegComment(JpegContext& ctx, const std::wstring& source, const std::wstring& dest,
                     const std::string& comment, CommentChange* change) {
    ctx.src.status = status::kOk;
    if (source == dest)
        return FailWrite(ctx);
    platform::MappedView view;
    if (!view.Open(source))
        return FailWrite(ctx);
    bytes::ByteCursor w(view.Data(), view.Size());
    const size_t npos = static_cast<size_t>(-1);
    size_t after_app = npos;
    size_t span_begin = npos, span_end = npos;
    Marker m;
    while (NextMarker(w, &m)) {
        if (m.code == kEoi || m.code == kSos)
            break;
        if (StandAlone(m.code))
            continue;
        if (!m.fits) {
            ctx.src.status = status::kCannotRead;
            return FailWrite(ctx);
        }
        const size_t segment_end = m.length_at + m.length;
        if (m.code == kCom) {
            span_begin = m.start;
            span_end = segment_end;
            break;
        }
        if (m.code == kApp0 || m.code == kApp1)
            after_app = segment_end;
        w.Seek(segment_end);
    }
    if (span_begin == npos) {
        // No comment yet: a new one goes after the last APP0/APP1 segment.
        if (after_app == npos)
            return FailWrite(ctx);
        span_begin = span_end = after_app;
    }

    const std::string text = StoredCommentBytes(comment, kMaxCommentBytes);
    if (text.empty() && span_begin == span_end)
        return 0;
    std::vector<uint8_t> record;
    if (!text.empty()) {
        const size_t length = text.size() + 2;
        record.resize(4 + text.size());
        record[0] = 0xFF;
        record[1] = kCom;
        record[2] = static_cast<uint8_t>(length >> 8);
        record[3] = static_cast<uint8_t>(length);
        std::memcpy(record.data() + 4, text.data(), text.size());
    }
    if (!WriteSplicedFile(dest, view.Data(), view.Size(), span_begin, span_end, record, change))
        return FailWrite(ctx);
    return 1;
}

int ReplaceJpegComment(JpegContext& ctx, const std::wstring& path, const std::string& comment,
                       CommentChange* change) {
    return ReplaceThroughTempFile(path, &ctx.src.status, [&](const std::wstring& temp) {
        return WriteJpegComment(ctx, path, temp, comment, change);
    });
}

} // namespace image
