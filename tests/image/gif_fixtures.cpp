#include "tests/image/gif_fixtures.h"

#include <map>

#include "tests/fixtures/byte_writer.h"

namespace testgif {

namespace {

class BitWriter {
  public:
    void Put(uint32_t code, uint32_t width) {
        bits_ |= static_cast<uint64_t>(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            out_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    Bytes Finish() {
        if (count_ > 0)
            out_.push_back(static_cast<uint8_t>(bits_));
        return out_;
    }

  private:
    Bytes out_;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
};

void Table(fixtures::ByteWriter& w, uint32_t bits, const Bytes& table) {
    Bytes t = table;
    t.resize(3u << bits, 0);
    w.Bytes(t);
}

} // namespace

Bytes Lzw(const Bytes& indices, uint32_t min_code_size, uint32_t max_codes) {
    const uint32_t clear = 1u << min_code_size;
    BitWriter out;
    std::map<uint32_t, uint32_t> dict;
    uint32_t width = min_code_size + 1;
    uint32_t next = clear + 2;
    out.Put(clear, width);
    if (indices.empty()) {
        out.Put(clear + 1, width);
        return out.Finish();
    }
    uint32_t cur = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const uint32_t key = (cur << 8) | indices[i];
        auto found = dict.find(key);
        if (found != dict.end()) {
            cur = found->second;
            continue;
        }
        out.Put(cur, width);
        if (next < max_codes) {
            dict[key] = next++;
            // The decoder adds its entry one code later, so it widens one code later too.
            if (next > (1u << width) && width < 12)
                ++width;
        } else {
            out.Put(clear, width);
            dict.clear();
            width = min_code_size + 1;
            next = clear + 2;
        }
        cur = indices[i];
    }
    out.Put(cur, width);
    out.Put(clear + 1, width);
    return out.Finish();
}

Bytes SubBlocks(const Bytes& data, size_t block) {
    Bytes out;
    for (size_t at = 0; at < data.size(); at += block) {
        const size_t n = std::min(block, data.size() - at);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
    return out;
}

Bytes GraphicControl(bool transparent, uint8_t index) {
    return {0x21, 0xF9, 4, static_cast<uint8_t>(transparent ? 1 : 0), 0, 0, index, 0};
}

Bytes Comment(const std::string& text) {
    fixtures::ByteWriter w;
    w.Bytes({0x21, 0xFE}).Bytes(SubBlocks(Bytes(text.begin(), text.end())));
    return w.Data();
}

Bytes Application(const std::string& id, const Bytes& data) {
    fixtures::ByteWriter w;
    w.Bytes({0x21, 0xFF, 11}).Ascii(id).Bytes(SubBlocks(data));
    return w.Data();
}

Bytes Make(const File& f) {
    fixtures::ByteWriter w;
    w.Ascii("GIF" + f.version).U16LE(f.width).U16LE(f.height);
    const uint8_t packed = f.global_bits ? static_cast<uint8_t>(0x80 | (f.global_bits - 1)) : 0;
    w.U8(packed).U8(f.background).U8(0);
    if (f.global_bits)
        Table(w, f.global_bits, f.global_table);
    w.Bytes(f.blocks);
    for (const Frame& fr : f.frames) {
        w.U8(0x2C).U16LE(fr.left).U16LE(fr.top).U16LE(fr.width).U16LE(fr.height);
        uint8_t p = fr.interlace ? 0x40 : 0;
        if (fr.local_bits)
            p = static_cast<uint8_t>(p | 0x80 | (fr.local_bits - 1));
        w.U8(p);
        if (fr.local_bits)
            Table(w, fr.local_bits, fr.local_table);
        w.U8(static_cast<uint8_t>(fr.min_code_size));
        w.Bytes(SubBlocks(Lzw(fr.indices, fr.min_code_size)));
    }
    if (f.trailer)
        w.U8(0x3B);
    return w.Data();
}

} // namespace testgif
