// Dialog-template walker fuzzer. The language module is a file from outside the program, and its
// templates are walked before a dialog is made from them. An input that starts like an extended
// template (version 1, signature 0xFFFF) is taken as one; anything else patches one of a few valid
// templates made at start-up (ordinal and named classes, titles, creation bytes, a menu by name): byte
// 0 picks the template, byte 1 the offset, the rest is written there. A template the walker accepts
// must lie within the input, hold its point size inside itself, and walk alike once the point size
// is changed in a copy.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "fuzz/fuzz_support.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

struct Writer {
    Bytes v;
    void U16(uint32_t x) {
        v.push_back(static_cast<uint8_t>(x));
        v.push_back(static_cast<uint8_t>(x >> 8));
    }
    void U32(uint32_t x) {
        U16(x & 0xFFFF);
        U16(x >> 16);
    }
    void Name(const std::u16string& text) {
        for (char16_t c : text)
            U16(c);
        U16(0);
    }
    void Align4() {
        while (v.size() % 4)
            v.push_back(0);
    }
};

Bytes MakeTemplate(int items, bool namedClasses, bool namedMenu, uint16_t creationBytes) {
    Writer w;
    w.U16(1);
    w.U16(0xFFFF);
    w.U32(0);
    w.U32(0);
    w.U32(0x80C800C0 | dlgtemplate::kSetFont);
    w.U16(static_cast<uint16_t>(items));
    for (uint16_t x : {0, 0, 200, 120})
        w.U16(x);
    if (namedMenu)
        w.Name(u"MENU");
    else
        w.U16(0);
    w.U16(0);
    w.Name(u"Caption");
    w.U16(8);
    w.U16(400);
    w.v.push_back(0);
    w.v.push_back(1);
    w.Name(u"MS Shell Dlg");
    for (int i = 0; i < items; ++i) {
        w.Align4();
        w.U32(0);
        w.U32(0);
        w.U32(0x50010000);
        for (uint16_t x : {4, 4, 40, 12})
            w.U16(x);
        w.U32(static_cast<uint32_t>(1000 + i));
        if (namedClasses) {
            w.Name(u"SysListView32");
        } else {
            w.U16(0xFFFF);
            w.U16(0x0080 + (i % 6));
        }
        w.Name(u"Item");
        w.U16(creationBytes);
        for (uint16_t k = 0; k < creationBytes; ++k)
            w.v.push_back(static_cast<uint8_t>(k));
    }
    return w.v;
}

const std::vector<Bytes>& Templates() {
    static const std::vector<Bytes> all = {MakeTemplate(3, false, false, 0), MakeTemplate(2, true, true, 0),
                                           MakeTemplate(1, false, false, 6), MakeTemplate(0, false, false, 0)};
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes input;
    if (size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF)
        input.assign(data, data + size);
    else
        input = fuzz::PatchTemplate(Templates(), data, size, size);
    dlgtemplate::Facts facts;
    if (!dlgtemplate::Walk(input.data(), input.size(), &facts))
        return 0;
    Check(facts.size <= input.size());
    Check(facts.pointSizeOffset + 2 <= facts.size);
    Bytes copy(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(facts.size));
    dlgtemplate::SetPointSize(copy.data(), facts, dlgtemplate::PointSize(true));
    Check(copy[facts.pointSizeOffset] == 11 && copy[facts.pointSizeOffset + 1] == 0);
    dlgtemplate::Facts again;
    Check(dlgtemplate::Walk(copy.data(), copy.size(), &again));
    Check(again.size == facts.size && again.itemCount == facts.itemCount &&
          again.pointSizeOffset == facts.pointSizeOffset);
    return 0;
}
