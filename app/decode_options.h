// The decoders' options as the settings choose them, read in one place for every caller that decodes
// pictures for display (thumbnails, preview, viewer).
#pragma once

#include "app/settings.h"
#include "image/load.h"

namespace settings {

// Keys 48, 49 (gamma; off gives display gamma 0), 50 to 52 (transparency) and 60 (plug-in folder).
// Limits stay at the decoders' defaults.
image::LoadOptions DecodeOptionsOf(const Settings& s);

} // namespace settings
