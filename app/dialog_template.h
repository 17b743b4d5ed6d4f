// Extended dialog templates (DLGTEMPLATEEX) as the language module stores them.
//
// A template is: a 26-byte header (version 1, signature 0xFFFF, help id, extended style, style, item
// count, x, y, cx, cy), then menu, class and title (each 0x0000, 0xFFFF + ordinal, or a zero-ended
// UTF-16 string), then with DS_SETFONT the font block (point size, weight, italic, charset, face),
// then the items, each starting on a 4-byte boundary: help id, extended style, style, x, y, cx, cy,
// id (24 bytes), class and title (as above), and a count of creation bytes that follow.
//
// The module comes from outside the program, so every field is read against the resource's size;
// a template that runs past it, is not extended or has no font block is refused.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dlgtemplate {

constexpr uint32_t kSetFont = 0x40; // DS_SETFONT

struct Facts {
    size_t size = 0;             // bytes from the start to the end of the last item
    size_t pointSizeOffset = 0;  // where the font's point size sits
    uint16_t itemCount = 0;
};

bool Walk(const uint8_t* data, size_t length, Facts* facts);

// Point size of every dialog: 9, or 11 with the large dialog font.
inline uint16_t PointSize(bool largeFont) { return largeFont ? 11 : 9; }

// Writes `points` into a copy of at least facts.size bytes.
void SetPointSize(uint8_t* copy, const Facts& facts, uint16_t points);

} // namespace dlgtemplate
