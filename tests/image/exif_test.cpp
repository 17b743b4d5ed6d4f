#include "image/exif.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "image/exif_strings_en.h"
#include "tests/fixtures/byte_writer.h"
#include "tests/image/exif_fixtures.h"

namespace {

using image::ExifInfo;
using testexif::Ascii;
using testexif::Bytes;
using testexif::Rational;
using testexif::Tag;
namespace status = image::status;

image::ExifStrings English() {
    image::ExifStrings s;
    s.lookup = image::ExifEnglishString;
    return s;
}

bool Read(const Bytes& jpeg, ExifInfo& info, image::JpegContext& ctx) {
    return image::ReadExifInfoFromMemory(ctx, jpeg.data(), jpeg.size(), info, English());
}

TEST(ExifFixed, RoundsHalfAwayFromZeroWithinNineDigits) {
    struct Case {
        int64_t n, d;
        int digits;
        bool plus;
        const wchar_t* want;
    } cases[] = {
        {1, 3, 2, false, L"0.33"},      {-2, 3, 2, false, L"-0.67"},     {1, 3, 2, true, L"+0.33"},
        {-2, 3, 2, true, L"-0.67"},     {0, 5, 2, true, L"0.00"},        {5, 2, 0, false, L"3"},
        {-5, 2, 0, false, L"-3"},       {1, 8, 3, false, L"0.125"},      {1, 16, 3, false, L"0.063"},
        {28, 10, 1, false, L"2.8"},     {123456789, 1, 0, false, L"123456789"},
        {1234567890, 1, 0, false, L""}, {1234567, 1, 2, false, L"1234567.00"},
        {12345678, 1, 2, false, L""},   {1, 3, 9, false, L""},           {-1, 2000, 2, false, L"0.00"},
        {2147483647, -1, 0, false, L""}, {7, 0, 1, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << "/" << c.d << " digits " << c.digits);
        EXPECT_EQ(image::ExifFixedRational(c.n, c.d, c.digits, c.plus), c.want);
        if (c.d != 0) {
            EXPECT_EQ(image::ExifFixed(static_cast<double>(c.n) / c.d, c.digits, c.plus), c.want);
        }
    }
}

struct ItemCase {
    const char* name;
    std::vector<Tag> ifd0;
    std::vector<Tag> exif;
    int item;
    std::wstring want; // kAbsent: the item stays absent
};

const wchar_t kAbsent[] = L"(absent)";

std::vector<ItemCase> ItemCases() {
    const Tag date = Ascii(306, "2024:01:02 03:04:05");
    return {
        {"exposure 1/250", {}, {Rational(33434, 1, 250)}, 10, L"1/250 sec"},
        {"exposure 10/4", {}, {Rational(33434, 10, 4)}, 10, L"2.5 sec"},
        {"exposure 10/25", {}, {Rational(33434, 10, 25)}, 10, L"1/2.5 sec"},
        {"exposure 1/3", {}, {Rational(33434, 1, 3)}, 10, L"1/3 sec"},
        {"exposure 30/1", {}, {Rational(33434, 30, 1)}, 10, L"30 sec"},
        {"exposure 0/1", {}, {Rational(33434, 0, 1)}, 10, kAbsent},
        {"F-number 28/10", {}, {Rational(33437, 28, 10)}, 11, L"F2.8"},
        {"F-number over 0", {}, {Rational(33437, 28, 0)}, 11, kAbsent},
        {"bias +1/3", {}, {Rational(37380, 1, 3, testexif::kSRational)}, 15, L"+0.33 Ev"},
        {"bias -2/3", {}, {Rational(37380, static_cast<uint32_t>(-2), 3, testexif::kSRational)}, 15, L"-0.67 Ev"},
        {"bias 0", {}, {Rational(37380, 0, 3, testexif::kSRational)}, 15, L"0.00 Ev"},
        {"distance infinity", {}, {Rational(37382, 0xFFFFFFFFu, 1)}, 29, L"Infinity"},
        {"distance unknown", {}, {Rational(37382, 0, 1)}, 29, L"Unknown"},
        {"distance 5/2", {}, {Rational(37382, 5, 2)}, 29, L"2.50 m"},
        {"shutter Tv 8", {}, {Rational(37377, 8, 1, testexif::kSRational)}, 12, L"8.00 Tv (1/256 sec)"},
        {"shutter Tv -1", {}, {Rational(37377, static_cast<uint32_t>(-1), 1, testexif::kSRational)}, 12,
         L"-1.00 Tv (2 sec)"},
        {"shutter Tv 1/2", {}, {Rational(37377, 1, 2, testexif::kSRational)}, 12, L"0.50 Tv (1/1.41 sec)"},
        {"aperture Av 4", {}, {Rational(37378, 4, 1)}, 13, L"4.00 Av (F4.00)"},
        {"max aperture Av 3", {}, {Rational(37381, 3, 1)}, 16, L"3.00 Av (F2.83)"},
        {"brightness unknown", {}, {Rational(37379, 0xFFFFFFFFu, 1, testexif::kSRational)}, 14, L"Unknown"},
        {"brightness", {}, {Rational(37379, 33, 10, testexif::kSRational)}, 14, L"3.30 Bv"},
        {"width after height", {}, {Tag{40963, testexif::kShort, {3000}, {}}, Tag{40962, testexif::kLong, {4000}, {}}},
         44, L"4000, 3000"},
        {"width twice", {}, {Tag{40962, testexif::kShort, {640}, {}}, Tag{40962, testexif::kShort, {9}, {}},
                             Tag{40963, testexif::kShort, {480}, {}}}, 44, L"640, 480"},
        {"resolution", {Rational(282, 72, 1), Rational(283, 144, 1), Tag{296, testexif::kShort, {2}, {}}}, {}, 45,
         L"72, 144 pixels per inch"},
        {"resolution unit 1", {Rational(282, 300, 1), Rational(283, 300, 1), Tag{296, testexif::kShort, {1}, {}}},
         {}, 45, L"300, 300"},
        {"focal plane", {}, {Rational(41486, 4000, 3), Rational(41487, 4000, 3), Tag{41488, testexif::kShort, {3}, {}}},
         46, L"1333, 1333 pixels per centimetre"},
        {"orientation 6", {Tag{274, testexif::kShort, {6}, {}}}, {}, 9, L"Right top (rotated 90 degrees clockwise)"},
        {"orientation 9", {Tag{274, testexif::kShort, {9}, {}}}, {}, 9, kAbsent},
        {"maker in place", {Ascii(271, "Abc")}, {}, 0, L"Abc"},
        {"model at offset", {Ascii(272, "Model Number Nine")}, {}, 1, L"Model Number Nine"},
        {"long text", {Ascii(270, std::string(300, 'd'))}, {}, 50, std::wstring(259, L'd')},
        {"subsec", {date}, {Tag{37520, testexif::kAscii, {}, {'1', '2', 0}}}, 6, L"2024:01:02 03:04:05 (subsec:12)"},
        {"subsec without date", {}, {Tag{37521, testexif::kAscii, {}, {'1', '2', 0}}}, 7, kAbsent},
        {"ISO", {}, {Tag{34855, testexif::kShort, {200}, {}}, Tag{34864, testexif::kShort, {3}, {}}}, 22,
         L"200 (ISO speed)"},
        {"ISO from REI", {}, {Tag{34855, testexif::kShort, {65535}, {}}, Tag{34864, testexif::kShort, {2}, {}},
                              Tag{34865, testexif::kLong, {100}, {}}, Tag{34866, testexif::kLong, {3200}, {}}},
         22, L"3200 (recommended exposure index)"},
        {"ISO type without value", {}, {Tag{34864, testexif::kShort, {3}, {}}}, 22, kAbsent},
        {"flash fired auto", {}, {Tag{37385, testexif::kShort, {0x19}, {}}}, 25, L"Fired, auto mode"},
        {"flash red-eye", {}, {Tag{37385, testexif::kShort, {0x59}, {}}}, 25, L"Fired, auto mode, red-eye reduction"},
        {"flash off", {}, {Tag{37385, testexif::kShort, {0x10}, {}}}, 25, L"Did not fire, compulsory suppression"},
        {"flash forced", {}, {Tag{37385, testexif::kShort, {0x09}, {}}}, 25, L"Fired, compulsory firing"},
        {"flash red-eye unfired", {}, {Tag{37385, testexif::kShort, {0x40}, {}}}, 25, L"Did not fire, unknown mode"},
        {"components", {}, {Tag{37121, testexif::kUndefined, {}, {1, 2, 3, 0}}}, 42, L"YCbCr"},
        {"components RGB and junk", {}, {Tag{37121, testexif::kUndefined, {}, {4, 9, 5, 6}}}, 42, L"RGB"},
        {"focal length", {}, {Rational(37386, 50, 1), Tag{41989, testexif::kShort, {75}, {}}}, 27,
         L"50.0 mm (35 mm equivalent: 75 mm)"},
        {"focal length 35 unknown", {}, {Rational(37386, 185, 10), Tag{41989, testexif::kShort, {0}, {}}}, 27,
         L"18.5 mm (35 mm equivalent: unknown)"},
        {"35 mm alone", {}, {Tag{41989, testexif::kShort, {75}, {}}}, 27, kAbsent},
        {"metering other", {}, {Tag{37383, testexif::kShort, {255}, {}}}, 23, L"Other"},
        {"metering 7", {}, {Tag{37383, testexif::kShort, {7}, {}}}, 23, kAbsent},
        {"light D65", {}, {Tag{37384, testexif::kShort, {21}, {}}}, 24, L"D65"},
        {"light 5", {}, {Tag{37384, testexif::kShort, {5}, {}}}, 24, kAbsent},
        {"light other", {}, {Tag{37384, testexif::kShort, {255}, {}}}, 24, L"Other light source"},
        {"program", {}, {Tag{34850, testexif::kShort, {3}, {}}}, 17, L"Aperture priority"},
        {"zoom not used", {}, {Rational(41988, 0, 1)}, 28, L"Not used"},
        {"zoom", {}, {Rational(41988, 3, 2)}, 28, L"1.50"},
        {"user comment", {}, {Tag{37510, testexif::kUndefined, {}, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i', '!', '!', '!'}}},
         51, L"ASCII 5 bytes"},
        {"user comment undefined", {}, {Tag{37510, testexif::kUndefined, {}, {0, 0, 0, 0, 0, 0, 0, 0, 'x'}}}, 51,
         L"Undefined 1 bytes"},
        {"subject area", {}, {Tag{37396, testexif::kShort, {10, 20, 30, 40}, {}}}, 31, L"x:10, y:20, w:30, h:40"},
        {"subject circle", {}, {Tag{37396, testexif::kShort, {10, 20, 5}, {}}}, 31, L"x:10, y:20, d:5"},
        {"subject location", {}, {Tag{41492, testexif::kShort, {7, 8}, {}}}, 32, L"x:7, y:8"},
        {"colour space", {}, {Tag{40961, testexif::kShort, {65535}, {}}}, 39, L"Uncalibrated"},
        {"gamma", {}, {Rational(42240, 22, 10)}, 40, L"2.200"},
        {"lens", {}, {Tag{42034, testexif::kRational, {24, 1, 70, 1, 28, 10, 4, 1}, {}}}, 4, L"24 - 70 mm (F2.8 - 4.0)"},
        {"lens unknown aperture", {}, {Tag{42034, testexif::kRational, {24, 1, 70, 1, 0, 0, 0, 0}, {}}}, 4, kAbsent},
        {"version", {}, {Tag{36864, testexif::kUndefined, {}, {'0', '2', '3', '2'}}}, 58, L"0232"},
        {"GPS", {Tag{34853, testexif::kLong, {0xABCD}, {}}}, {}, 60, L"0000ABCD"},
        {"YCbCr", {Tag{531, testexif::kShort, {2}, {}}}, {}, 41, L"Co-sited"},
        {"sensing", {}, {Tag{41495, testexif::kShort, {7}, {}}}, 47, L"Trilinear sensor"},
        {"file source", {}, {Tag{41728, testexif::kUndefined, {}, {3}}}, 48, L"Digital still camera"},
        {"scene type", {}, {Tag{41729, testexif::kUndefined, {}, {1}}}, 49, L"Directly photographed"},
        {"compressed bits", {}, {Rational(37122, 4, 1)}, 43, L"4 bits/pixel"},
        {"flash energy", {}, {Rational(41483, 5, 2)}, 26, L"3 BCPS"},
        {"exposure index", {}, {Rational(41493, 400, 1)}, 20, L"400"},
    };
}

TEST(ExifInfo, EachItemReadsTheSameInBothByteOrders) {
    for (const ItemCase& c : ItemCases()) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (big ? " big-endian" : " little-endian"));
            ExifInfo info;
            image::JpegContext ctx;
            const bool found = Read(testexif::Jpeg(testexif::Block(big, c.ifd0, c.exif)), info, ctx);
            EXPECT_EQ(found, !c.exif.empty());
            EXPECT_EQ(ctx.src.status, status::kOk);
            const bool want_present = c.want != kAbsent;
            if (want_present) {
                EXPECT_TRUE(info.items[c.item].present);
                EXPECT_EQ(info.items[c.item].value, c.want);
            } else {
                EXPECT_FALSE(info.items[c.item].present) << std::string(info.items[c.item].value.begin(),
                                                                         info.items[c.item].value.end());
            }
            int present = 0;
            for (const image::ExifItem& item : info.items)
                present += item.present;
            EXPECT_EQ(present, want_present ? 1 : 0) << "other items filled";
        }
    }
}

TEST(ExifInfo, LabelsAndNextDirectory) {
    ExifInfo info;
    image::ExifLoadLabels(info, English());
    EXPECT_EQ(info.items[10].label, L"Exposure time");
    for (const image::ExifItem& item : info.items)
        EXPECT_FALSE(item.label.empty());
    image::JpegContext ctx;
    ASSERT_TRUE(Read(testexif::Jpeg(testexif::Block(false, {Ascii(271, "Cam")}, {Rational(33437, 4, 1)}, 0x1234)),
                     info, ctx));
    EXPECT_EQ(info.items[61].value, L"00001234");
    EXPECT_EQ(info.items[11].value, L"F4.0");
    EXPECT_EQ(info.items[0].value, L"Cam");
    EXPECT_EQ(info.items[10].label, L"Exposure time"); // labels survive a read

    // A second read starts from a clean record.
    ASSERT_FALSE(Read(testexif::Jpeg(testexif::Block(false, {Ascii(272, "M")}, {})), info, ctx));
    EXPECT_FALSE(info.items[0].present);
    EXPECT_TRUE(info.items[1].present);
}

TEST(ExifInfo, EveryStringIdHasOneEnglishWord) {
    std::set<uint32_t> ids;
#define COUNT_ID(id, text) EXPECT_TRUE(ids.insert(id).second) << id;
    QUORLE_EXIF_STRINGS(COUNT_ID)
#undef COUNT_ID
    for (uint32_t id = 51000; id < 51062; ++id)
        EXPECT_TRUE(ids.count(id)) << id;
    // The value words the reader asks for.
    const uint32_t used[] = {50200, 50207, 50210, 50211, 50220, 50221, 50230, 50240, 50248, 50250, 50257,
                             50260, 50270, 50271, 50280, 50286, 50287, 50290, 50294, 50299, 50314, 50315,
                             50320, 50326, 50330, 50334, 50336, 50337, 50340, 50343, 50350, 50360, 50361,
                             50370, 50372, 50380, 50381, 50390, 50400, 50402, 50410, 50414, 50420, 50422,
                             50430, 50432, 50440, 50442, 50450, 50453, 50460, 50461};
    for (uint32_t id : used)
        EXPECT_FALSE(image::ExifEnglishString(id).empty()) << id;
    EXPECT_TRUE(image::ExifEnglishString(49999).empty());
}

TEST(ExifInfo, DamagedBlocksKeepWhatWasRead) {
    const Bytes block = testexif::Block(false, {Ascii(271, "Maker"), Ascii(272, "Model")}, {Rational(33437, 4, 1)});
    image::JpegContext ctx;
    ExifInfo info;
    // Cut inside IFD0's second entry: the segment length still covers what is left.
    for (size_t keep : {size_t(8 + 2 + 12 + 5), size_t(9), size_t(0)}) {
        SCOPED_TRACE(keep);
        const Bytes cut(block.begin(), block.begin() + static_cast<long>(keep));
        EXPECT_FALSE(Read(testexif::Jpeg(cut), info, ctx));
        EXPECT_FALSE(info.items[1].present);
        EXPECT_FALSE(info.items[0].present); // its text lies beyond the cut
    }
    // A value offset pointing outside the block skips that entry only.
    Bytes far = block;
    far[8 + 2 + 8] = 0xF0; // IFD0 entry 0's offset
    EXPECT_TRUE(Read(testexif::Jpeg(far), info, ctx));
    EXPECT_FALSE(info.items[0].present);
    EXPECT_EQ(info.items[1].value, L"Model");
    EXPECT_EQ(info.items[11].value, L"F4.0");

    // A bad marker segment before the Exif segment: status 50004, nothing found.
    Bytes broken = {0xFF, 0xD8, 0xFF, 0xE2, 0x00, 0x01};
    const Bytes jpeg = testexif::Jpeg(block);
    broken.insert(broken.end(), jpeg.begin() + 2, jpeg.end());
    EXPECT_FALSE(Read(broken, info, ctx));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);

    // Every prefix of a file is read without going past its end.
    for (size_t n = 0; n < jpeg.size(); ++n) {
        image::JpegContext c;
        image::ReadExifInfoFromMemory(c, jpeg.data(), n, info, English());
    }

    // A missing file.
    fixtures::TempFolder folder;
    EXPECT_FALSE(image::ReadExifInfo(ctx, folder / L"none.jpg", info, English()));
    EXPECT_EQ(ctx.src.status, status::kCannotRead);
}

} // namespace
