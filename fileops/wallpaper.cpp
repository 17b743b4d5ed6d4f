#include "fileops/wallpaper.h"

#include <utility>

#include "common/platform.h"
#include "image/bmp.h"
#include "image/scale.h"

namespace wallpaper {

namespace {

// Deletes the file it names when it goes out of scope.
class FileRemover {
  public:
    explicit FileRemover(std::wstring path) : path_(std::move(path)) {}
    ~FileRemover() {
        if (!path_.empty())
            platform::DeleteFileAt(path_);
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;
    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
};

bool Turn(image::DecodedImage& picture, int kind) {
    int width = image::Width(picture), height = image::Height(picture);
    platform::PageBlock turned = image::RotateImage(picture.pixels, &width, &height, kind, 24);
    if (!turned)
        return false;
    image::AdoptPixels(picture, std::move(turned));
    picture.info.header.width = width;
    picture.info.header.height = height;
    return true;
}

} // namespace

int ButtonOf(Layout layout) {
    switch (layout) {
    case Layout::Stretched: return kButtonStretched;
    case Layout::Tiled: return kButtonTiled;
    case Layout::Centred: break;
    }
    return kButtonCentred;
}

Layout LayoutOfButton(int button) {
    if (button == kButtonStretched)
        return Layout::Stretched;
    if (button == kButtonTiled)
        return Layout::Tiled;
    return Layout::Centred;
}

Layout PresetLayout(OneCharValue tile, OneCharValue style) {
    if (!tile.fits || !style.fits)
        return Layout::Centred;
    if (tile.c != L'0')
        return Layout::Tiled;
    return style.c == L'0' ? Layout::Centred : Layout::Stretched;
}

RegistryValues ValuesOf(Layout layout) {
    switch (layout) {
    case Layout::Stretched: return {L"0", L"2"};
    case Layout::Tiled: return {L"1", L"0"};
    case Layout::Centred: break;
    }
    return {L"0", L"0"};
}

int RotationFor(int orientation) {
    switch (orientation) {
    case 1: return 0;
    case 6: return 1;
    case 8: return 3;
    default: return 2;
    }
}

bool WriteWallpaperFile(image::DecodedImage& picture, int orientation, bool turn, const std::wstring& wallpaperPath) {
    if (!picture.pixels || wallpaperPath.empty())
        return false;
    if (image::BitCount(picture) != 24 && !image::ConvertTo24Bit(picture))
        return false;
    const int kind = turn ? RotationFor(orientation) : 0;
    if (kind && !Turn(picture, kind))
        return false;
    FileRemover temp(platform::MakeTempFile());
    if (temp.Path().empty())
        return false;
    image::BmpWriter writer = image::BmpWriterFor(picture);
    if (!image::WriteBmp(writer, temp.Path(), nullptr, picture.pixels))
        return false;
    // The temporary folder may lie on another volume: the copy goes beside the wallpaper file first,
    // and only a complete copy is renamed over it.
    FileRemover beside(wallpaperPath + L".new");
    return platform::CopyOver(temp.Path(), beside.Path()) && platform::MoveOver(beside.Path(), wallpaperPath);
}

} // namespace wallpaper
