// The English words of the Exif information list: item labels (51000 + item index) and the value
// words the texts are built from. One list serves both the language module's string table
// (lang/strings_exif.rc expands it) and the built-in table of tests and tools, so they cannot drift.
#pragma once

// X(id, "text")
#define QUORLE_EXIF_STRINGS(X) \
    X(50200, "Top left") \
    X(50201, "Top right (mirrored)") \
    X(50202, "Bottom right (rotated 180 degrees)") \
    X(50203, "Bottom left (mirrored)") \
    X(50204, "Left top (mirrored)") \
    X(50205, "Right top (rotated 90 degrees clockwise)") \
    X(50206, "Right bottom (mirrored)") \
    X(50207, "Left bottom (rotated 90 degrees counter-clockwise)") \
    X(50210, "pixels per inch") \
    X(50211, "pixels per centimetre") \
    X(50220, "Centred") \
    X(50221, "Co-sited") \
    X(50230, "sec") \
    X(50240, "Not defined") \
    X(50241, "Manual") \
    X(50242, "Normal program") \
    X(50243, "Aperture priority") \
    X(50244, "Shutter priority") \
    X(50245, "Creative program") \
    X(50246, "Action program") \
    X(50247, "Portrait mode") \
    X(50248, "Landscape mode") \
    X(50250, "(unknown sensitivity type)") \
    X(50251, "(standard output sensitivity)") \
    X(50252, "(recommended exposure index)") \
    X(50253, "(ISO speed)") \
    X(50254, "(SOS and REI)") \
    X(50255, "(SOS and ISO speed)") \
    X(50256, "(REI and ISO speed)") \
    X(50257, "(SOS, REI and ISO speed)") \
    X(50260, "Unknown") \
    X(50270, "Unknown") \
    X(50271, "Infinity") \
    X(50280, "Unknown") \
    X(50281, "Average") \
    X(50282, "Centre-weighted average") \
    X(50283, "Spot") \
    X(50284, "Multi-spot") \
    X(50285, "Pattern") \
    X(50286, "Partial") \
    X(50287, "Other") \
    X(50290, "Unknown") \
    X(50291, "Daylight") \
    X(50292, "Fluorescent") \
    X(50293, "Tungsten (incandescent light)") \
    X(50294, "Flash") \
    X(50299, "Fine weather") \
    X(50300, "Cloudy weather") \
    X(50301, "Shade") \
    X(50302, "Daylight fluorescent") \
    X(50303, "Day white fluorescent") \
    X(50304, "Cool white fluorescent") \
    X(50305, "White fluorescent") \
    X(50306, "Warm white fluorescent") \
    X(50307, "Standard light A") \
    X(50308, "Standard light B") \
    X(50309, "Standard light C") \
    X(50310, "D55") \
    X(50311, "D65") \
    X(50312, "D75") \
    X(50313, "D50") \
    X(50314, "ISO studio tungsten") \
    X(50315, "Other light source") \
    X(50320, "Fired") \
    X(50321, "Did not fire") \
    X(50322, "auto mode") \
    X(50323, "compulsory firing") \
    X(50324, "compulsory suppression") \
    X(50325, "unknown mode") \
    X(50326, "red-eye reduction") \
    X(50330, "Not defined") \
    X(50331, "One-chip colour area sensor") \
    X(50332, "Two-chip colour area sensor") \
    X(50333, "Three-chip colour area sensor") \
    X(50334, "Colour sequential area sensor") \
    X(50336, "Trilinear sensor") \
    X(50337, "Colour sequential linear sensor") \
    X(50340, "Others") \
    X(50341, "Scanner of transparent type") \
    X(50342, "Scanner of reflex type") \
    X(50343, "Digital still camera") \
    X(50350, "Directly photographed") \
    X(50360, "Normal process") \
    X(50361, "Custom process") \
    X(50370, "Auto exposure") \
    X(50371, "Manual exposure") \
    X(50372, "Auto bracket") \
    X(50380, "Auto white balance") \
    X(50381, "Manual white balance") \
    X(50390, "Not used") \
    X(50400, "Standard") \
    X(50401, "Landscape") \
    X(50402, "Portrait") \
    X(50410, "None") \
    X(50411, "Low gain up") \
    X(50412, "High gain up") \
    X(50413, "Low gain down") \
    X(50414, "High gain down") \
    X(50420, "Normal") \
    X(50421, "Soft") \
    X(50422, "Hard") \
    X(50430, "Normal") \
    X(50431, "Low saturation") \
    X(50432, "High saturation") \
    X(50440, "Normal") \
    X(50441, "Soft") \
    X(50442, "Hard") \
    X(50450, "Unknown") \
    X(50451, "Macro") \
    X(50452, "Close view") \
    X(50453, "Distant view") \
    X(50460, "unknown") \
    X(50461, "35 mm equivalent") \
    X(51000, "Camera maker") \
    X(51001, "Camera model") \
    X(51002, "Lens maker") \
    X(51003, "Lens model") \
    X(51004, "Lens") \
    X(51005, "Software") \
    X(51006, "Date and time") \
    X(51007, "Date taken") \
    X(51008, "Date digitized") \
    X(51009, "Orientation") \
    X(51010, "Exposure time") \
    X(51011, "F-number") \
    X(51012, "Shutter speed") \
    X(51013, "Aperture") \
    X(51014, "Brightness") \
    X(51015, "Exposure bias") \
    X(51016, "Maximum aperture") \
    X(51017, "Exposure program") \
    X(51018, "Scene type") \
    X(51019, "Exposure mode") \
    X(51020, "Exposure index") \
    X(51021, "Spectral sensitivity") \
    X(51022, "ISO sensitivity") \
    X(51023, "Metering mode") \
    X(51024, "Light source") \
    X(51025, "Flash") \
    X(51026, "Flash energy") \
    X(51027, "Focal length") \
    X(51028, "Digital zoom") \
    X(51029, "Subject distance") \
    X(51030, "Subject distance range") \
    X(51031, "Subject area") \
    X(51032, "Subject location") \
    X(51033, "White balance") \
    X(51034, "Image processing") \
    X(51035, "Gain control") \
    X(51036, "Contrast") \
    X(51037, "Saturation") \
    X(51038, "Sharpness") \
    X(51039, "Colour space") \
    X(51040, "Gamma") \
    X(51041, "YCbCr positioning") \
    X(51042, "Components") \
    X(51043, "Compressed bits per pixel") \
    X(51044, "Picture size") \
    X(51045, "Resolution") \
    X(51046, "Focal plane resolution") \
    X(51047, "Sensing method") \
    X(51048, "File source") \
    X(51049, "Scene") \
    X(51050, "Description") \
    X(51051, "User comment") \
    X(51052, "Artist") \
    X(51053, "Copyright") \
    X(51054, "Camera owner") \
    X(51055, "Camera serial number") \
    X(51056, "Lens serial number") \
    X(51057, "Unique picture ID") \
    X(51058, "Exif version") \
    X(51059, "FlashPix version") \
    X(51060, "GPS data") \
    X(51061, "Thumbnail directory")

#ifndef RC_INVOKED

#include <cstdint>
#include <string>

namespace image {

// The English word for a string id, or an empty string; usable as an ExifStrings lookup.
inline std::wstring ExifEnglishString(uint32_t id, void* = nullptr) {
#define QUORLE_EXIF_ENTRY(number, text) {number, L"" text},
    static const struct {
        uint32_t id;
        const wchar_t* text;
    } kTable[] = {QUORLE_EXIF_STRINGS(QUORLE_EXIF_ENTRY)};
#undef QUORLE_EXIF_ENTRY
    for (const auto& e : kTable)
        if (e.id == id)
            return e.text;
    return std::wstring();
}

} // namespace image

#endif
