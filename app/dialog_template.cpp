#include "app/dialog_template.h"

namespace dlgtemplate {

namespace {

// A bounded cursor over the resource; any read past the end makes it fail for good.
struct Cursor {
    const uint8_t* data;
    size_t length;
    size_t pos = 0;
    bool ok = true;

    bool Need(size_t n) {
        if (!ok || n > length - pos)
            ok = false;
        return ok;
    }
    uint16_t U16() {
        if (!Need(2))
            return 0;
        uint16_t v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t lo = U16();
        uint32_t hi = U16();
        return lo | (hi << 16);
    }
    void Skip(size_t n) {
        if (Need(n))
            pos += n;
    }
    void Align4() { Skip((4 - (pos & 3)) & 3); }
    void SkipString() {
        while (ok && U16() != 0) {
        }
    }
    // 0x0000 (none), 0xFFFF followed by an ordinal, or a zero-ended string.
    void SkipNameOrOrdinal() {
        if (!Need(2))
            return;
        uint16_t first = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        if (first == 0xFFFF)
            Skip(4);
        else
            SkipString();
    }
};

} // namespace

bool Walk(const uint8_t* data, size_t length, Facts* facts) {
    if (!data)
        return false;
    Cursor c{data, length};
    uint16_t version = c.U16();
    uint16_t signature = c.U16();
    c.U32(); // help id
    c.U32(); // extended style
    uint32_t style = c.U32();
    uint16_t items = c.U16();
    c.Skip(8); // x, y, cx, cy
    if (!c.ok || version != 1 || signature != 0xFFFF || !(style & kSetFont))
        return false;
    c.SkipNameOrOrdinal(); // menu
    c.SkipNameOrOrdinal(); // class
    c.SkipString();        // title
    size_t pointSizeAt = c.pos;
    c.Skip(6); // point size, weight, italic, charset
    c.SkipString();
    for (uint16_t i = 0; i < items && c.ok; ++i) {
        c.Align4();
        c.Skip(24);
        c.SkipNameOrOrdinal(); // class
        c.SkipNameOrOrdinal(); // title
        c.Skip(c.U16());       // creation data
    }
    if (!c.ok)
        return false;
    facts->size = c.pos;
    facts->pointSizeOffset = pointSizeAt;
    facts->itemCount = items;
    return true;
}

void SetPointSize(uint8_t* copy, const Facts& facts, uint16_t points) {
    copy[facts.pointSizeOffset] = static_cast<uint8_t>(points & 0xFF);
    copy[facts.pointSizeOffset + 1] = static_cast<uint8_t>(points >> 8);
}

} // namespace dlgtemplate
