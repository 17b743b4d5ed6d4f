#include "app/decode_options.h"

namespace settings {

image::LoadOptions DecodeOptionsOf(const Settings& s) {
    image::LoadOptions o;
    o.background.composite = s.pngFlatten;
    o.background.use_file_background = s.pngFileBackground;
    o.background.background = s.pngBackground;
    o.background.display_gamma = s.pngGamma ? static_cast<uint32_t>(s.pngDisplayGamma) : 0;
    o.plugin_folder = s.pluginFolder;
    return o;
}

} // namespace settings
