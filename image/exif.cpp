// The Exif block of a JPEG's APP1 segment is a small TIFF structure: a header choosing the byte
// order, IFD0 (with the pointer to the Exif IFD, tag 34665), and IFDs of 12-byte entries
//
//   tag u16 | type u16 | count u32 | value (up to 4 bytes, left-aligned) or offset from the header
//
// Damage policy: the walk stays inside the APP1 segment. An entry whose value lies outside it is
// skipped; an IFD cut short ends its walk quietly, keeping what was read; a zero denominator leaves
// its item absent.
#include "image/exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/byte_cursor.h"

namespace image {

namespace {

enum Type : uint16_t {
    kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
    kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12,
};

uint32_t TypeSize(uint16_t type) {
    switch (type) {
    case kShort:
    case kSShort: return 2;
    case kLong:
    case kSLong:
    case kFloat: return 4;
    case kRational:
    case kSRational:
    case kDouble: return 8;
    default: return 1;
    }
}

constexpr size_t kMaxText = 259;

// Item indices.
enum Item {
    kMake = 0, kModel = 1, kLensMake = 2, kLensModel = 3, kLens = 4, kSoftware = 5, kDateTime = 6,
    kDateOriginal = 7, kDateDigitized = 8, kOrientation = 9, kExposureTime = 10, kFNumber = 11,
    kShutter = 12, kAperture = 13, kBrightness = 14, kBias = 15, kMaxAperture = 16, kProgram = 17,
    kSceneCapture = 18, kExposureMode = 19, kExposureIndex = 20, kSpectral = 21, kIso = 22,
    kMetering = 23, kLight = 24, kFlash = 25, kFlashEnergy = 26, kFocalLength = 27, kZoom = 28,
    kDistance = 29, kDistanceRange = 30, kSubjectArea = 31, kSubjectLocation = 32,
    kWhiteBalance = 33, kCustomRendered = 34, kGain = 35, kContrast = 36, kSaturation = 37,
    kSharpness = 38, kColourSpace = 39, kGamma = 40, kYCbCrPositioning = 41, kComponents = 42,
    kCompressedBits = 43, kDimensions = 44, kResolution = 45, kFocalPlane = 46, kSensing = 47,
    kFileSource = 48, kSceneType = 49, kDescription = 50, kUserComment = 51, kArtist = 52,
    kCopyright = 53, kOwner = 54, kBodySerial = 55, kLensSerial = 56, kUniqueId = 57,
    kExifVersion = 58, kFlashPixVersion = 59, kGps = 60, kNextIfd = 61,
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const uint8_t* field; // the 4-byte value field
};

// Three pieces shown in a fixed order whatever the order of their tags (x, y, unit; width, height).
struct Pieces {
    bool seen[3] = {};
    std::wstring text[3];
};

struct Walk {
    Walk(JpegContext& c, ExifInfo& i, const ExifStrings& s) : ctx(c), info(i), strings(s) {}
    JpegContext& ctx;
    ExifInfo& info;
    const ExifStrings& strings;
    const uint8_t* base = nullptr;
    const uint8_t* end = nullptr;
    bool exif_ifd = false;
    // Item 22.
    bool iso_seen = false;
    uint32_t iso = 0;
    int iso_type = -1;
    Pieces dimensions, resolution, focal_plane;

    uint16_t U16(const uint8_t* p) const { return ctx.read16(p); }
    uint32_t U32(const uint8_t* p) const { return ctx.read32(p); }

    // The entry's values: in place when they fit in 4 bytes, else at the offset; null when they do
    // not lie wholly inside the block.
    const uint8_t* Values(const Entry& e, uint64_t n) const {
        if (n <= 4)
            return e.field;
        const uint32_t offset = U32(e.field);
        if (!bytes::Fits(static_cast<size_t>(end - base), offset, n))
            return nullptr;
        return base + offset;
    }
    const uint8_t* Values(const Entry& e) const {
        return Values(e, static_cast<uint64_t>(e.count) * TypeSize(e.type));
    }

    void Set(int item, const std::wstring& value) {
        info.items[item].present = true;
        info.items[item].value = value;
    }
    void SetString(int item, uint32_t id) { Set(item, strings.Get(id)); }
};

// The first value of an integer entry.
bool Integer(const Walk& w, const Entry& e, uint32_t* v) {
    if (e.count == 0)
        return false;
    switch (e.type) {
    case kByte:
    case kUndefined: *v = e.field[0]; return true;
    case kShort: *v = w.U16(e.field); return true;
    case kLong: *v = w.U32(e.field); return true;
    case kSShort: *v = static_cast<uint32_t>(static_cast<int16_t>(w.U16(e.field))); return true;
    case kSLong: *v = w.U32(e.field); return true;
    default: return false;
    }
}

// Rational i of the entry, as signed 32-bit numerator and denominator.
bool Rational(const Walk& w, const Entry& e, uint32_t i, int64_t* num, int64_t* den) {
    if ((e.type != kRational && e.type != kSRational) || i >= e.count)
        return false;
    const uint8_t* p = w.Values(e);
    if (!p)
        return false;
    *num = static_cast<int32_t>(w.U32(p + 8 * static_cast<size_t>(i)));
    *den = static_cast<int32_t>(w.U32(p + 8 * static_cast<size_t>(i) + 4));
    return true;
}

bool RationalValue(const Walk& w, const Entry& e, int64_t* num, int64_t* den) {
    return Rational(w, e, 0, num, den) && *den != 0;
}

bool Text(const Walk& w, const Entry& e, std::wstring* out) {
    const uint64_t n = e.count <= 4 ? e.count : std::min<uint64_t>(e.count, kMaxText);
    const uint8_t* p = w.Values(e, e.count <= 4 ? e.count : n);
    if (!p)
        return false;
    size_t len = 0;
    while (len < n && p[len] != 0)
        ++len;
    *out = platform::AnsiToWide(std::string(reinterpret_cast<const char*>(p), len));
    return true;
}

void SetText(Walk& w, const Entry& e, int item) {
    std::wstring text;
    if (Text(w, e, &text))
        w.Set(item, text);
}

// "values lo..hi give string base + value"
void SetChoice(Walk& w, const Entry& e, int item, uint32_t lo, uint32_t hi, uint32_t base) {
    uint32_t v = 0;
    if (Integer(w, e, &v) && v >= lo && v <= hi)
        w.SetString(item, base + v);
}

std::wstring Decimal(uint64_t v) { return std::to_wstring(v); }

std::wstring Hex8(uint32_t v) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring s(8, L'0');
    for (int i = 7; i >= 0; --i, v >>= 4)
        s[i] = kDigits[v & 15];
    return s;
}

void SetPieces(Walk& w, int item, Pieces& pieces, int which, const std::wstring& text) {
    if (pieces.seen[which])
        return; // a tag seen a second time is ignored
    pieces.seen[which] = true;
    pieces.text[which] = text;
    std::wstring joined;
    for (int i = 0; i < 2; ++i) {
        if (!pieces.seen[i])
            continue;
        if (!joined.empty())
            joined += L", ";
        joined += pieces.text[i];
    }
    if (pieces.seen[2])
        joined += L" " + pieces.text[2];
    w.Set(item, joined);
}

// Items 45 and 46: x, y and the unit (2 inch, 3 centimetre).
void ResolutionPiece(Walk& w, const Entry& e, int item, Pieces& pieces, int which) {
    if (which == 2) {
        uint32_t unit = 0;
        if (Integer(w, e, &unit) && (unit == 2 || unit == 3))
            SetPieces(w, item, pieces, 2, w.strings.Get(50208 + unit));
        return;
    }
    int64_t num = 0, den = 0;
    if (RationalValue(w, e, &num, &den))
        SetPieces(w, item, pieces, which, ExifFixedRational(num, den, 0));
}

// Tv and Av texts (items 12, 13, 16).
std::wstring ApertureText(int64_t num, int64_t den) {
    const double av = static_cast<double>(num) / static_cast<double>(den);
    return ExifFixedRational(num, den, 2) + L" Av (F" + ExifFixed(std::pow(std::sqrt(2.0), av), 2) + L")";
}

std::wstring ShutterText(const Walk& w, int64_t num, int64_t den) {
    const double tv = static_cast<double>(num) / static_cast<double>(den);
    double t = std::pow(2.0, -tv);
    std::wstring text = ExifFixedRational(num, den, 2) + L" Tv";
    if (t < 1) {
        text += L" (1/";
        t = 1 / t;
    } else {
        text += L" (";
    }
    const double thousandths = t * 1000;
    const bool whole = thousandths == std::floor(thousandths);
    return text + ExifFixed(t, whole ? 0 : 2) + L" " + w.strings.Get(50230) + L")";
}

void OnIso(Walk& w, const Entry& e) {
    uint32_t v = 0;
    switch (e.tag) {
    case 34855:
        if (w.iso_seen || !Integer(w, e, &v))
            return;
        w.iso_seen = true;
        w.iso = v;
        w.Set(kIso, Decimal(v));
        return;
    case 34864:
        if (!w.iso_seen || w.iso_type >= 0 || !Integer(w, e, &v) || v > 7)
            return;
        w.iso_type = static_cast<int>(v);
        w.info.items[kIso].value += L" " + w.strings.Get(50250 + v);
        return;
    default: {
        // 34865 standard output sensitivity, 34866 recommended exposure index, 34867 ISO speed:
        // they replace an ISO value of 65535 when the sensitivity type names them.
        static const uint8_t kTypes[3] = {0xB2, 0xD4, 0xE8}; // bit t set: type t uses the tag
        if (!w.iso_seen || w.iso != 65535 || w.iso_type < 0 || !(kTypes[e.tag - 34865] >> w.iso_type & 1))
            return;
        if (e.type != kLong || e.count == 0)
            return;
        w.Set(kIso, Decimal(w.U32(e.field)) + L" " + w.strings.Get(50250 + static_cast<uint32_t>(w.iso_type)));
        return;
    }
    }
}

void OnFlash(Walk& w, const Entry& e) {
    uint32_t f = 0;
    if (!Integer(w, e, &f))
        return;
    std::wstring text = w.strings.Get(f & 1 ? 50320 : 50321) + L", ";
    switch ((f >> 3) & 3) {
    case 3: text += w.strings.Get(50322); break;
    case 1: text += w.strings.Get(50323); break;
    case 2: text += w.strings.Get(50324); break;
    default: text += w.strings.Get(50325); break;
    }
    if ((f & 1) && (f & 0x40))
        text += L", " + w.strings.Get(50326);
    w.Set(kFlash, text);
}

void OnExposureTime(Walk& w, const Entry& e) {
    int64_t m = 0, v = 0;
    if (!Rational(w, e, 0, &m, &v) || m == 0 || v == 0)
        return;
    std::wstring text;
    if (m < v)
        text = L"1/" + ExifFixedRational(v, m, v % m != 0 ? 1 : 0);
    else
        text = ExifFixedRational(m, v, m % v != 0 ? 1 : 0);
    w.Set(kExposureTime, text + L" " + w.strings.Get(50230));
}

void OnSubjectArea(Walk& w, const Entry& e) {
    if (e.type != kShort || e.count < 2 || e.count > 4)
        return;
    const uint8_t* p = w.Values(e);
    if (!p)
        return;
    static const wchar_t* kNames[4] = {L"x:", L", y:", nullptr, nullptr};
    std::wstring text;
    for (uint32_t i = 0; i < e.count; ++i) {
        const wchar_t* name = kNames[i];
        if (i == 2)
            name = e.count == 3 ? L", d:" : L", w:";
        if (i == 3)
            name = L", h:";
        text += name + Decimal(w.U16(p + 2 * i));
    }
    w.Set(kSubjectArea, text);
}

void OnComponents(Walk& w, const Entry& e) {
    const uint8_t* p = e.count >= 4 ? w.Values(e) : nullptr;
    if (!p)
        return;
    static const wchar_t* kNames[7] = {L"", L"Y", L"Cb", L"Cr", L"R", L"G", L"B"};
    std::wstring text;
    for (int i = 0; i < 4; ++i)
        if (p[i] <= 6)
            text += kNames[p[i]];
    w.Set(kComponents, text);
}

void OnUserComment(Walk& w, const Entry& e) {
    if (e.count < 8)
        return;
    const uint8_t* p = w.Values(e, 8);
    if (!p || !w.Values(e))
        return;
    size_t len = 0;
    while (len < 8 && p[len] != 0)
        ++len;
    std::wstring code = platform::AnsiToWide(std::string(reinterpret_cast<const char*>(p), len));
    while (!code.empty() && code.back() == L' ')
        code.pop_back();
    if (code.empty())
        code = L"Undefined";
    w.Set(kUserComment, code + L" " + Decimal(e.count - 8u) + L" bytes");
}

// Rational items written as fixed(value, digits) followed by a unit.
void SetFixed(Walk& w, const Entry& e, int item, int digits, const wchar_t* suffix, bool plus = false) {
    int64_t num = 0, den = 0;
    if (RationalValue(w, e, &num, &den))
        w.Set(item, ExifFixedRational(num, den, digits, plus) + suffix);
}

void OnExifTag(Walk& w, const Entry& e) {
    int64_t num = 0, den = 0;
    uint32_t v = 0;
    switch (e.tag) {
    case 42035: SetText(w, e, kLensMake); break;
    case 42036: SetText(w, e, kLensModel); break;
    case 42034: {
        int64_t n[4], d[4];
        for (uint32_t i = 0; i < 4; ++i)
            if (!Rational(w, e, i, &n[i], &d[i]) || d[i] == 0)
                return;
        w.Set(kLens, ExifFixedRational(n[0], d[0], 0) + L" - " + ExifFixedRational(n[1], d[1], 0) + L" mm (F" +
                         ExifFixedRational(n[2], d[2], 1) + L" - " + ExifFixedRational(n[3], d[3], 1) + L")");
        break;
    }
    case 37520:
    case 37521:
    case 37522: {
        const int item = kDateTime + (e.tag - 37520);
        std::wstring text;
        if (w.info.items[item].present && Text(w, e, &text))
            w.info.items[item].value += L" (subsec:" + text + L")";
        break;
    }
    case 36867: SetText(w, e, kDateOriginal); break;
    case 36868: SetText(w, e, kDateDigitized); break;
    case 33434: OnExposureTime(w, e); break;
    case 33437:
        if (RationalValue(w, e, &num, &den))
            w.Set(kFNumber, L"F" + ExifFixedRational(num, den, 1));
        break;
    case 37377:
        if (RationalValue(w, e, &num, &den))
            w.Set(kShutter, ShutterText(w, num, den));
        break;
    case 37378:
    case 37381:
        if (RationalValue(w, e, &num, &den))
            w.Set(e.tag == 37378 ? kAperture : kMaxAperture, ApertureText(num, den));
        break;
    case 37379:
        if (Rational(w, e, 0, &num, &den) && num == -1)
            w.SetString(kBrightness, 50260);
        else
            SetFixed(w, e, kBrightness, 2, L" Bv");
        break;
    case 37380: SetFixed(w, e, kBias, 2, L" Ev", true); break;
    case 34850: SetChoice(w, e, kProgram, 0, 8, 50240); break;
    case 41990: SetChoice(w, e, kSceneCapture, 0, 2, 50400); break;
    case 41986: SetChoice(w, e, kExposureMode, 0, 2, 50370); break;
    case 41493: SetFixed(w, e, kExposureIndex, 0, L""); break;
    case 34852: SetText(w, e, kSpectral); break;
    case 34855:
    case 34864:
    case 34865:
    case 34866:
    case 34867: OnIso(w, e); break;
    case 37383:
        if (Integer(w, e, &v) && (v <= 6 || v == 255))
            w.SetString(kMetering, v == 255 ? 50287 : 50280 + v);
        break;
    case 37384:
        if (Integer(w, e, &v) && (v <= 4 || (v >= 9 && v <= 24) || v == 255))
            w.SetString(kLight, v == 255 ? 50315 : 50290 + v);
        break;
    case 37385: OnFlash(w, e); break;
    case 41483: SetFixed(w, e, kFlashEnergy, 0, L" BCPS"); break;
    case 37386: SetFixed(w, e, kFocalLength, 1, L" mm"); break;
    case 41989:
        if (w.info.items[kFocalLength].present && Integer(w, e, &v)) {
            w.info.items[kFocalLength].value += L" (" + w.strings.Get(50461) + L": " +
                                                (v == 0 ? w.strings.Get(50460) : Decimal(v) + L" mm") + L")";
        }
        break;
    case 41988:
        if (Rational(w, e, 0, &num, &den) && num == 0)
            w.SetString(kZoom, 50390);
        else
            SetFixed(w, e, kZoom, 2, L"");
        break;
    case 37382:
        if (Rational(w, e, 0, &num, &den)) {
            if (num == 0)
                w.SetString(kDistance, 50270);
            else if (num == -1)
                w.SetString(kDistance, 50271);
            else
                SetFixed(w, e, kDistance, 2, L" m");
        }
        break;
    case 41996: SetChoice(w, e, kDistanceRange, 0, 3, 50450); break;
    case 37396: OnSubjectArea(w, e); break;
    case 41492:
        if (e.type == kShort && e.count >= 2) {
            if (const uint8_t* p = w.Values(e))
                w.Set(kSubjectLocation, L"x:" + Decimal(w.U16(p)) + L", y:" + Decimal(w.U16(p + 2)));
        }
        break;
    case 41987: SetChoice(w, e, kWhiteBalance, 0, 1, 50380); break;
    case 41985: SetChoice(w, e, kCustomRendered, 0, 1, 50360); break;
    case 41991: SetChoice(w, e, kGain, 0, 4, 50410); break;
    case 41992: SetChoice(w, e, kContrast, 0, 2, 50420); break;
    case 41993: SetChoice(w, e, kSaturation, 0, 2, 50430); break;
    case 41994: SetChoice(w, e, kSharpness, 0, 2, 50440); break;
    case 40961:
        if (Integer(w, e, &v) && (v == 1 || v == 65535))
            w.Set(kColourSpace, v == 1 ? L"sRGB" : L"Uncalibrated");
        break;
    case 42240: SetFixed(w, e, kGamma, 3, L""); break;
    case 37121: OnComponents(w, e); break;
    case 37122: SetFixed(w, e, kCompressedBits, 0, L" bits/pixel"); break;
    case 40962:
    case 40963:
        if ((e.type == kShort || e.type == kLong) && Integer(w, e, &v))
            SetPieces(w, kDimensions, w.dimensions, e.tag - 40962, Decimal(v));
        break;
    case 41486:
    case 41487:
    case 41488: ResolutionPiece(w, e, kFocalPlane, w.focal_plane, e.tag - 41486); break;
    case 41495:
        if (Integer(w, e, &v) && v >= 1 && v <= 8 && v != 6)
            w.SetString(kSensing, 50329 + v);
        break;
    case 41728:
        if (e.count >= 1) {
            const uint8_t* p = w.Values(e);
            if (p && p[0] <= 3)
                w.SetString(kFileSource, 50340 + p[0]);
        }
        break;
    case 41729:
        if (e.count >= 1) {
            const uint8_t* p = w.Values(e);
            if (p && p[0] == 1)
                w.SetString(kSceneType, 50350);
        }
        break;
    case 37510: OnUserComment(w, e); break;
    case 42032: SetText(w, e, kOwner); break;
    case 42033: SetText(w, e, kBodySerial); break;
    case 42037: SetText(w, e, kLensSerial); break;
    case 42016: SetText(w, e, kUniqueId); break;
    case 36864: SetText(w, e, kExifVersion); break;
    case 40960: SetText(w, e, kFlashPixVersion); break;
    default: break;
    }
}

void OnIfd0Tag(Walk& w, const Entry& e);

// Walks the IFD at `p`; returns the position after its entries (the next-IFD offset), or null when
// the IFD was cut short.
const uint8_t* WalkIfd(Walk& w, const uint8_t* p, void (*on_tag)(Walk&, const Entry&)) {
    if (!p || p < w.base || p > w.end)
        return nullptr;
    const bool big = w.ctx.byte_order != 0;
    bytes::ByteCursor in(w.base, static_cast<size_t>(w.end - w.base));
    in.Seek(static_cast<size_t>(p - w.base));
    const uint32_t count = in.U16(big);
    if (!in.Ok())
        return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        if (!in.Has(12))
            return nullptr;
        Entry e;
        e.tag = in.U16(big);
        e.type = in.U16(big);
        e.count = in.U32(big);
        e.field = in.Bytes(4);
        on_tag(w, e);
    }
    return w.base + in.Pos();
}

void OnIfd0Tag(Walk& w, const Entry& e) {
    uint32_t v = 0;
    switch (e.tag) {
    case 270: SetText(w, e, kDescription); break;
    case 271: SetText(w, e, kMake); break;
    case 272: SetText(w, e, kModel); break;
    case 305: SetText(w, e, kSoftware); break;
    case 306: SetText(w, e, kDateTime); break;
    case 315: SetText(w, e, kArtist); break;
    case 33432: SetText(w, e, kCopyright); break;
    case 274: SetChoice(w, e, kOrientation, 1, 8, 50199); break;
    case 282: ResolutionPiece(w, e, kResolution, w.resolution, 0); break;
    case 283: ResolutionPiece(w, e, kResolution, w.resolution, 1); break;
    case 296: ResolutionPiece(w, e, kResolution, w.resolution, 2); break;
    case 531: SetChoice(w, e, kYCbCrPositioning, 1, 2, 50219); break;
    case 34665: {
        if (!Integer(w, e, &v))
            break;
        const size_t size = static_cast<size_t>(w.end - w.base);
        if (v < size) {
            WalkIfd(w, w.base + v, OnExifTag);
            w.exif_ifd = true;
        }
        break;
    }
    case 34853:
        if (Integer(w, e, &v))
            w.Set(kGps, Hex8(v));
        break;
    default: break;
    }
}

uint32_t FullExifHandler(JpegContext& ctx, void* user) {
    Walk& w = *static_cast<Walk*>(user);
    w.base = ctx.tiff_base;
    w.end = ctx.exif_end;
    const uint8_t* after = WalkIfd(w, ctx.src.cursor, OnIfd0Tag);
    if (after && w.end - after >= 4) {
        const uint32_t next = w.U32(after);
        if (next != 0)
            w.Set(kNextIfd, Hex8(next));
    }
    return w.exif_ifd ? 1 : 0;
}

bool StopAfterExif(JpegContext&, void*) { return true; }

// Digits needed for the integer part of an already rounded magnitude.
std::wstring FormatScaled(uint64_t scaled, int digits, bool negative, bool plus) {
    static const uint64_t kPowers[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    if (scaled >= kPowers[9] || digits >= 9)
        return std::wstring(); // more than 9 digits (a zero integer part counts as one)
    const uint64_t unit = kPowers[digits];
    std::wstring text = std::to_wstring(scaled / unit);
    if (digits > 0) {
        std::wstring frac = std::to_wstring(scaled % unit);
        text += L"." + std::wstring(static_cast<size_t>(digits) - frac.size(), L'0') + frac;
    }
    if (scaled != 0 && negative)
        return L"-" + text;
    if (scaled != 0 && plus)
        return L"+" + text;
    return text;
}

} // namespace

std::wstring ExifFixed(double x, int digits, bool plus) {
    digits = std::max(0, std::min(digits, 9));
    if (!std::isfinite(x))
        return std::wstring();
    const double scaled = std::floor(std::fabs(x) * std::pow(10.0, digits) + 0.5);
    if (scaled >= 1e9)
        return std::wstring();
    return FormatScaled(static_cast<uint64_t>(scaled), digits, x < 0, plus);
}

std::wstring ExifFixedRational(int64_t numerator, int64_t denominator, int digits, bool plus) {
    digits = std::max(0, std::min(digits, 9));
    if (denominator == 0)
        return std::wstring();
    const bool negative = (numerator < 0) != (denominator < 0);
    const uint64_t n = static_cast<uint64_t>(numerator < 0 ? -numerator : numerator);
    const uint64_t d = static_cast<uint64_t>(denominator < 0 ? -denominator : denominator);
    uint64_t scale = 1;
    for (int i = 0; i < digits; ++i)
        scale *= 10;
    // n < 2^32 and scale <= 10^9 < 2^30: the product fits in 64 bits. Half away from zero.
    const uint64_t scaled = (n * scale * 2 + d) / (2 * d);
    return FormatScaled(scaled, digits, negative, plus);
}

void ExifLoadLabels(ExifInfo& info, const ExifStrings& strings) {
    for (int i = 0; i < kExifItemCount; ++i)
        info.items[i].label = strings.Get(kExifLabelBase + static_cast<uint32_t>(i));
}

bool ReadExifInfoFromMemory(JpegContext& ctx, const uint8_t* data, size_t size, ExifInfo& info,
                            const ExifStrings& strings) {
    for (ExifItem& item : info.items) {
        item.present = false;
        item.value.clear();
    }
    ctx.src.status = status::kOk;
    ctx.exif = false;
    ctx.src.begin = ctx.src.cursor = data;
    ctx.src.end = data ? data + size : data;
    Walk w(ctx, info, strings);
    JpegMarkerHooks hooks;
    hooks.on_exif = FullExifHandler;
    hooks.stop_after_exif = StopAfterExif;
    hooks.user = &w;
    const bool found = JpegScanMarkers(ctx, hooks) != 0;
    ctx.src.begin = ctx.src.cursor = ctx.src.end = nullptr;
    return found;
}

bool ReadExifInfo(JpegContext& ctx, const std::wstring& path, ExifInfo& info, const ExifStrings& strings) {
    platform::MappedView view;
    if (!view.Open(path)) {
        for (ExifItem& item : info.items) {
            item.present = false;
            item.value.clear();
        }
        ctx.src.status = status::kCannotRead;
        return false;
    }
    return ReadExifInfoFromMemory(ctx, view.Data(), view.Size(), info, strings);
}

} // namespace image
