#include "tests/image/tiff_fixtures.h"

#include "tests/fixtures/byte_writer.h"

namespace testtiff {

namespace {

uint32_t TypeSize(uint16_t type) {
    switch (type) {
    case kShort: return 2;
    case kLong: return 4;
    case kRational: return 4; // per value; a rational is two values
    default: return 1;
    }
}

class Writer {
  public:
    explicit Writer(bool big) : big_(big) {}
    void U16(uint16_t v) { big_ ? w.U16BE(v) : w.U16LE(v); }
    void U32(uint32_t v) { big_ ? w.U32BE(v) : w.U32LE(v); }
    void Value(uint16_t type, uint32_t v) {
        if (type == kShort)
            U16(static_cast<uint16_t>(v));
        else if (type == kLong || type == kRational)
            U32(v);
        else
            w.U8(static_cast<uint8_t>(v));
    }
    fixtures::ByteWriter w;

  private:
    bool big_;
};

} // namespace

Bytes Make(const File& f) {
    Writer out(f.big_endian);
    out.w.Ascii(f.big_endian ? "MM" : "II");
    out.U16(42);
    out.U32(0); // IFD offset, patched below

    std::vector<uint32_t> offsets(f.strips.size()), counts(f.strips.size());
    for (size_t k = 0; k < f.strips.size(); ++k) {
        const size_t i = f.strips_reversed ? f.strips.size() - 1 - k : k;
        offsets[i] = static_cast<uint32_t>(out.w.Size());
        counts[i] = static_cast<uint32_t>(f.strips[i].size());
        out.w.Bytes(f.strips[i]);
    }
    std::vector<Tag> tags = f.tags;
    bool has_offsets = false, has_counts = false;
    for (const Tag& t : tags) {
        has_offsets = has_offsets || t.tag == 273;
        has_counts = has_counts || t.tag == 279;
    }
    if (!has_offsets && f.add_strip_tags)
        tags.push_back(Tag{273, kLong, offsets});
    if (!has_counts && f.add_strip_tags)
        tags.push_back(Tag{279, kLong, counts});

    out.w.Align(2);
    const uint32_t ifd = static_cast<uint32_t>(out.w.Size());
    const uint32_t data_at = ifd + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
    Writer extra(f.big_endian);
    out.U16(static_cast<uint16_t>(tags.size()));
    for (const Tag& t : tags) {
        const uint32_t count = t.type == kRational ? static_cast<uint32_t>(t.values.size() / 2)
                                                   : static_cast<uint32_t>(t.values.size());
        out.U16(t.tag);
        out.U16(t.type);
        out.U32(count);
        const uint32_t bytes = TypeSize(t.type) * static_cast<uint32_t>(t.values.size());
        if (bytes <= 4) {
            Writer in_place(f.big_endian);
            for (uint32_t v : t.values)
                in_place.Value(t.type, v);
            in_place.w.Fill(4 - bytes);
            out.w.Bytes(in_place.w.Data());
        } else {
            out.U32(data_at + static_cast<uint32_t>(extra.w.Size()));
            for (uint32_t v : t.values)
                extra.Value(t.type, v);
            extra.w.Align(2);
        }
    }
    out.U32(0); // no next IFD
    out.w.Bytes(extra.w.Data());
    Bytes file = out.w.Data();
    for (int i = 0; i < 4; ++i)
        file[4 + i] = static_cast<uint8_t>(f.big_endian ? ifd >> (24 - 8 * i) : ifd >> (8 * i));
    return file;
}

std::vector<Tag> Baseline(uint32_t width, uint32_t height, std::vector<uint32_t> bits, uint32_t photometric) {
    return {Tag{256, kLong, {width}}, Tag{257, kShort, {height}}, Tag{258, kShort, bits},
            Tag{259, kShort, {1}}, Tag{262, kShort, {photometric}}};
}

} // namespace testtiff
