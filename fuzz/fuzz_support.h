// What the picture fuzz targets share: the abort that marks a broken invariant, the patching of a
// valid file made at start-up with the fuzzer's bytes, and a writer for TIFF-style structures in
// either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace fuzz {

using Bytes = std::vector<uint8_t>;

inline void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Byte 0 picks one of the templates, byte 1 an offset in it, and the bytes from 2 up to `end` are
// written from there on, growing the copy past the template's end. Mutations of a valid file reach
// much deeper than random bytes do.
inline Bytes PatchTemplate(const std::vector<Bytes>& templates, const uint8_t* data, size_t size, size_t end) {
    Bytes out = templates[size ? data[0] % templates.size() : 0];
    size_t at = size >= 2 ? data[1] % out.size() : 0;
    for (size_t i = 2; i < end && i < size; ++i, ++at) {
        if (at >= out.size())
            out.push_back(data[i]);
        else
            out[at] = data[i];
    }
    return out;
}

// 16- and 32-bit values in the byte order of a TIFF header ("MM" when `big`).
struct OrderedWriter {
    bool big = false;
    Bytes v;
    void U16(uint32_t x) {
        if (big) {
            v.push_back(static_cast<uint8_t>(x >> 8));
            v.push_back(static_cast<uint8_t>(x));
        } else {
            v.push_back(static_cast<uint8_t>(x));
            v.push_back(static_cast<uint8_t>(x >> 8));
        }
    }
    void U32(uint32_t x) {
        if (big) {
            U16(x >> 16);
            U16(x & 0xFFFF);
        } else {
            U16(x & 0xFFFF);
            U16(x >> 16);
        }
    }
    // An IFD entry; a single SHORT sits in the first half of the value field, anything else is the
    // value or an offset.
    void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        U16(tag);
        U16(type);
        U32(count);
        if (type == 3 && count == 1) {
            U16(value);
            U16(0);
        } else {
            U32(value);
        }
    }
};

} // namespace fuzz
