// UTF-16 code units on disk and in memory, independent of sizeof(wchar_t).
//
// On Windows wchar_t is a UTF-16 unit and these are plain copies; natively wchar_t holds code points,
// so surrogate pairs are joined on the way in and split on the way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace utf16 {

// Decodes `units` little-endian UTF-16 code units starting at `bytes`.
std::wstring FromLE(const uint8_t* bytes, size_t units);
// Appends `text` as little-endian UTF-16 code units (no terminator).
void AppendLE(std::vector<uint8_t>& out, const std::wstring& text);
// Number of UTF-16 code units `text` takes.
size_t UnitCount(const std::wstring& text);
// Converts to and from a sequence of UTF-16 code units.
std::u16string ToUnits(const std::wstring& text);
std::wstring FromUnits(const char16_t* units, size_t count);

} // namespace utf16
