// Extended dialog templates are read from a module outside the program: every field is bounded.
#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include "tests/fixtures/byte_writer.h"

namespace {

using fixtures::ByteWriter;

void Name(ByteWriter& w, const std::wstring& text) { w.Utf16LE(text).U16LE(0); }

// A template with `items` items: menu none, class none, a title, font "MS Shell Dlg" at `points`.
std::vector<uint8_t> Template(uint32_t style, int items, bool ordinalClass = true) {
    ByteWriter w;
    w.U16LE(1).U16LE(0xFFFF).U32LE(0).U32LE(0).U32LE(style).U16LE(static_cast<uint16_t>(items));
    w.U16LE(0).U16LE(0).U16LE(100).U16LE(50);
    w.U16LE(0);          // no menu
    w.U16LE(0);          // default class
    Name(w, L"Title");   // caption
    w.U16LE(8).U16LE(400).U8(0).U8(1);
    Name(w, L"MS Shell Dlg");
    for (int i = 0; i < items; ++i) {
        w.Align(4);
        w.U32LE(0).U32LE(0).U32LE(0x50010000).U16LE(1).U16LE(2).U16LE(30).U16LE(10).U32LE(static_cast<uint32_t>(i));
        if (ordinalClass)
            w.U16LE(0xFFFF).U16LE(0x0080); // BUTTON
        else
            Name(w, L"msctls_updown32");
        Name(w, L"OK");
        w.U16LE(0); // no creation data
    }
    return w.Data();
}

TEST(DialogTemplate, WalksToTheEndAndFindsThePointSize) {
    std::vector<uint8_t> t = Template(0x80C800C0, 2);
    dlgtemplate::Facts f;
    ASSERT_TRUE(dlgtemplate::Walk(t.data(), t.size(), &f));
    EXPECT_EQ(f.size, t.size());
    EXPECT_EQ(f.itemCount, 2);
    EXPECT_EQ(t[f.pointSizeOffset], 8);
    dlgtemplate::SetPointSize(t.data(), f, dlgtemplate::PointSize(true));
    EXPECT_EQ(t[f.pointSizeOffset], 11);
    EXPECT_EQ(t[f.pointSizeOffset + 1], 0);
    dlgtemplate::SetPointSize(t.data(), f, dlgtemplate::PointSize(false));
    EXPECT_EQ(t[f.pointSizeOffset], 9);
}

TEST(DialogTemplate, TrailingBytesAreNotPartOfTheTemplate) {
    std::vector<uint8_t> t = Template(0x40, 1, false);
    const size_t size = t.size();
    t.resize(size + 16, 0xCC);
    dlgtemplate::Facts f;
    ASSERT_TRUE(dlgtemplate::Walk(t.data(), t.size(), &f));
    EXPECT_EQ(f.size, size);
}

TEST(DialogTemplate, CreationDataIsSkipped) {
    std::vector<uint8_t> t = Template(0x40, 1);
    t.resize(t.size() - 2);
    ByteWriter extra;
    extra.U16LE(4).U32LE(0xDEADBEEF);
    t.insert(t.end(), extra.Data().begin(), extra.Data().end());
    dlgtemplate::Facts f;
    ASSERT_TRUE(dlgtemplate::Walk(t.data(), t.size(), &f));
    EXPECT_EQ(f.size, t.size());
}

TEST(DialogTemplate, RefusesOldTemplatesAndTemplatesWithoutAFont) {
    dlgtemplate::Facts f;
    std::vector<uint8_t> noFont = Template(0x80C80080, 0);
    EXPECT_FALSE(dlgtemplate::Walk(noFont.data(), noFont.size(), &f));
    std::vector<uint8_t> old = Template(0x40, 0);
    old[2] = 0; // signature 0x0000: a plain DLGTEMPLATE
    old[3] = 0;
    EXPECT_FALSE(dlgtemplate::Walk(old.data(), old.size(), &f));
    std::vector<uint8_t> version2 = Template(0x40, 0);
    version2[0] = 2;
    EXPECT_FALSE(dlgtemplate::Walk(version2.data(), version2.size(), &f));
    EXPECT_FALSE(dlgtemplate::Walk(nullptr, 100, &f));
}

TEST(DialogTemplate, EveryTruncationIsRefused) {
    const std::vector<uint8_t> t = Template(0x40, 3, false);
    for (size_t n = 0; n < t.size(); ++n) {
        dlgtemplate::Facts f;
        EXPECT_FALSE(dlgtemplate::Walk(t.data(), n, &f)) << "length " << n;
    }
}

TEST(DialogTemplate, AnUnterminatedTitleOrHugeItemCountStaysInside) {
    ByteWriter w;
    w.U16LE(1).U16LE(0xFFFF).U32LE(0).U32LE(0).U32LE(0x40).U16LE(0xFFFF).Fill(8);
    w.U16LE(0).U16LE(0);
    w.Fill(64, 'A'); // a title that never ends
    dlgtemplate::Facts f;
    EXPECT_FALSE(dlgtemplate::Walk(w.Data().data(), w.Size(), &f));
    std::vector<uint8_t> many = Template(0x40, 1);
    many[16] = 0xFF; // item count 0xFFFF with one item present
    many[17] = 0xFF;
    EXPECT_FALSE(dlgtemplate::Walk(many.data(), many.size(), &f));
}

} // namespace
