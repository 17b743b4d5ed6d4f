#include "tests/image/exif_fixtures.h"

#include "tests/fixtures/byte_writer.h"

namespace testexif {

namespace {

class Writer {
  public:
    explicit Writer(bool big) : big_(big) {}
    void U16(uint16_t v) { big_ ? w.U16BE(v) : w.U16LE(v); }
    void U32(uint32_t v) { big_ ? w.U32BE(v) : w.U32LE(v); }
    fixtures::ByteWriter w;

  private:
    bool big_;
};

Bytes Payload(bool big, const Tag& t) {
    Writer v(big);
    if (!t.bytes.empty()) {
        v.w.Bytes(t.bytes);
    } else {
        for (uint32_t x : t.values) {
            if (t.type == kShort)
                v.U16(static_cast<uint16_t>(x));
            else
                v.U32(x);
        }
    }
    return v.w.Data();
}

uint32_t Count(const Tag& t) {
    if (!t.bytes.empty())
        return static_cast<uint32_t>(t.bytes.size());
    if (t.type == kRational || t.type == kSRational)
        return static_cast<uint32_t>(t.values.size() / 2);
    return static_cast<uint32_t>(t.values.size());
}

} // namespace

Tag Ascii(uint16_t tag, const std::string& text) {
    Tag t{tag, kAscii, {}, Bytes(text.begin(), text.end())};
    t.bytes.push_back(0);
    return t;
}

Tag Rational(uint16_t tag, uint32_t numerator, uint32_t denominator, uint16_t type) {
    return Tag{tag, type, {numerator, denominator}, {}};
}

Bytes Block(bool big, const std::vector<Tag>& ifd0_in, const std::vector<Tag>& exif, uint32_t next_ifd) {
    std::vector<Tag> ifd0 = ifd0_in;
    const uint32_t ifd0_at = 8;
    const uint32_t ifd0_size = 2 + 12 * static_cast<uint32_t>(ifd0.size() + (exif.empty() ? 0 : 1)) + 4;
    const uint32_t exif_at = ifd0_at + ifd0_size;
    const uint32_t exif_size = exif.empty() ? 0 : 2 + 12 * static_cast<uint32_t>(exif.size()) + 4;
    if (!exif.empty())
        ifd0.push_back(Tag{34665, kLong, {exif_at}, {}});
    uint32_t data_at = exif_at + exif_size;

    Writer out(big);
    Writer data(big);
    out.w.Ascii(big ? "MM" : "II");
    out.U16(42);
    out.U32(ifd0_at);
    auto write_ifd = [&](const std::vector<Tag>& tags, uint32_t next) {
        out.U16(static_cast<uint16_t>(tags.size()));
        for (const Tag& t : tags) {
            const Bytes payload = Payload(big, t);
            out.U16(t.tag);
            out.U16(t.type);
            out.U32(Count(t));
            if (payload.size() <= 4) {
                out.w.Bytes(payload);
                out.w.Fill(4 - payload.size());
            } else {
                out.U32(data_at + static_cast<uint32_t>(data.w.Size()));
                data.w.Bytes(payload);
                data.w.Align(2);
            }
        }
        out.U32(next);
    };
    write_ifd(ifd0, next_ifd);
    if (!exif.empty())
        write_ifd(exif, 0);
    out.w.Bytes(data.w.Data());
    return out.w.Data();
}

Bytes Jpeg(const Bytes& block) {
    fixtures::ByteWriter w;
    w.Bytes({0xFF, 0xD8, 0xFF, 0xE1}).U16BE(static_cast<uint16_t>(2 + 6 + block.size())).Ascii("Exif").U8(0).U8(0);
    w.Bytes(block);
    w.Bytes({0xFF, 0xD9});
    return w.Data();
}

} // namespace testexif
