#include "common/utf16.h"

namespace utf16 {

namespace {

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

void PushUnits(std::u16string& out, wchar_t c) {
    uint32_t cp = static_cast<uint32_t>(c);
    if (kWideIsUtf16 || cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

} // namespace

std::u16string ToUnits(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        PushUnits(out, c);
    return out;
}

std::wstring FromUnits(const char16_t* units, size_t count) {
    std::wstring out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t u = units[i];
        if (!kWideIsUtf16 && u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            out.push_back(static_cast<wchar_t>(cp));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(u));
        }
    }
    return out;
}

std::wstring FromLE(const uint8_t* bytes, size_t units) {
    std::u16string raw(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        raw[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return FromUnits(raw.data(), raw.size());
}

void AppendLE(std::vector<uint8_t>& out, const std::wstring& text) {
    for (char16_t u : ToUnits(text)) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
}

size_t UnitCount(const std::wstring& text) {
    if constexpr (kWideIsUtf16) {
        return text.size();
    } else {
        size_t n = 0;
        for (wchar_t c : text)
            n += (static_cast<uint32_t>(c) >> 16) != 0 ? 2 : 1;
        return n;
    }
}

} // namespace utf16
