// Scaling method 3, the system's stretch, through a memory device context. Windows-only.
#pragma once

#include <windows.h>

#include "image/scale.h"

namespace image {

// Lets `scaler` use method 3 through `dc`, whose stretch mode the caller has chosen (HALFTONE for
// thumbnails). The DC stays the caller's; null turns method 3 off again.
void ScalerUseDc(Scaler& scaler, HDC dc);

} // namespace image
