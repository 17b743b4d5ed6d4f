// The plug-in tests' files (written at build time by make_fixtures.py) and the reference pictures
// dwebp wrote beside them, as the 24-bit bottom-up bitmaps the WebP plug-in must return.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace plugin_fixtures {

inline std::string Path(const std::string& name) {
#ifdef _WIN32
    std::string p = "Z:" QUORLE_PLUGIN_FIXTURES "/" + name;
    for (char& c : p) {
        if (c == '/')
            c = '\\';
    }
    return p;
#else
    return QUORLE_PLUGIN_FIXTURES "/" + name;
#endif
}

inline std::vector<uint8_t> Read(const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint8_t> bits;  // bottom-up BGR rows padded to 4 bytes
};

// dwebp's PAM (RGBA, not premultiplied) composited onto white, as the interface's bitmap.
inline Bitmap ReferenceBitmap(const std::string& pam_name) {
    const std::vector<uint8_t> pam = Read(pam_name);
    Bitmap out;
    const std::string text(pam.begin(), pam.end());
    const size_t end = text.find("ENDHDR\n");
    if (text.compare(0, 3, "P7\n") != 0 || end == std::string::npos)
        return out;
    out.width = std::stoi(text.substr(text.find("WIDTH ") + 6));
    out.height = std::stoi(text.substr(text.find("HEIGHT ") + 7));
    const size_t stride = (static_cast<size_t>(out.width) * 3 + 3) & ~size_t{3};
    const uint8_t* px = pam.data() + end + 7;
    if (pam.size() - (end + 7) < static_cast<size_t>(out.width) * out.height * 4)
        return Bitmap{};
    out.bits.assign(stride * out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        uint8_t* row = out.bits.data() + stride * (out.height - 1 - y);
        for (int x = 0; x < out.width; ++x, px += 4) {
            for (int c = 0; c < 3; ++c) {
                // Over white, rounded to nearest: the only way to show alpha in a 24-bit bitmap.
                const int a = px[3];
                row[3 * x + c] = static_cast<uint8_t>((px[2 - c] * a + 255 * (255 - a) + 127) / 255);
            }
        }
    }
    return out;
}

// The WebP pictures with their references, and which of them are lossless.
struct WebpCase {
    const char* name;
    bool lossless;
    bool alpha;
};
inline const WebpCase kWebpCases[] = {
    {"libwebp_test", false, false}, {"lossy_odd", false, false}, {"lossless_odd", true, false},
    {"alpha_lossy", false, true},   {"alpha_lossless", true, true},
};

// The photographs every archive fixture holds, by stored name, and the file with the same bytes.
struct Photo {
    const char* stored;
    const char* folder;  // as the entry record shows it
    const char* file;
    const char* original;
};
inline const Photo kPhotos[] = {
    {"photo1.jpg", "", "photo1.jpg", "photo1.jpg"},
    {"trip/photo2.jpg", "trip\\", "photo2.jpg", "photo2.jpg"},
    {"trip/day 2/photo3.jpg", "trip\\day 2\\", "photo3.jpg", "photo3.jpg"},
};
inline const char* const kPhotoArchives[] = {"photos.7z", "photos.tar", "photos.tar.gz", "photos.tar.xz", "photos.cab"};

} // namespace plugin_fixtures
