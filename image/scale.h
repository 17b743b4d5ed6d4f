// Scaling and rotation of 24-bit blue-green-red bottom-up blocks (rows padded to 4 bytes).
//
// Every operation returns a new page block of stride x height + 4 bytes and leaves its input alone;
// the caller swaps the new block into its DecodedImage (AdoptPixels). An empty block means failure.
#pragma once

#include <cstdint>
#include <vector>

#include "common/platform.h"
#include "image/decoded_image.h"

namespace image {

enum ScaleMethod : int {
    kScaleAreaLinear = 0, // area averaging down, linear interpolation up
    kScaleBicubic = 1,    // stepped bicubic with a Gaussian pre-filter
    kScaleNearest = 2,
    kScaleSystem = 3, // the system's stretch (Windows only, through the scaler's device context)
};

struct Scaler;

// Method 3, provided by the Windows side together with the device context it draws into.
using SystemStretchFn = platform::PageBlock (*)(Scaler& scaler, const uint8_t* src, int src_width,
                                                int src_height, int dst_width, int dst_height,
                                                const BitmapInfo* info);

// One per thumbnail thread.
struct Scaler {
    void* dc = nullptr; // memory device context for method 3 (not owned)
    SystemStretchFn system_stretch = nullptr;
    // Pre-filter weights of the last method-1 blur: centre weight, then up to two side weights.
    int prefilter[3] = {0, 0, 0};
};

// Gives null (an empty block) for target sizes <= 0 or too large, for method 0 with an unchanged size,
// for unknown methods, and for method 3 without a device context or bitmap info.
platform::PageBlock ScaleImage(Scaler& scaler, const uint8_t* src, int src_width, int src_height,
                               int dst_width, int dst_height, int method, const BitmapInfo* info);

struct PictureSize {
    int width;
    int height;
};

// The size a picture takes in a box: unchanged when it fits, otherwise scaled to touch the box in its
// limiting direction, never below 1.
PictureSize FitToBox(int width, int height, int box_width, int box_height);

// One step of method 1: blur where the step reduces, then one bicubic resampling.
struct BicubicStep {
    int from_width, from_height;
    int to_width, to_height;
    bool blur_vertical;
    bool blur_horizontal;
};
std::vector<BicubicStep> PlanBicubicSteps(int src_width, int src_height, int dst_width, int dst_height);

// Integer Gaussian pre-filter for a reduction ratio: weights[0] is the centre, weights[1..radius] the
// sides, all scaled so that they sum to about 2^shift.
struct Prefilter {
    int radius;
    int weights[3];
    int shift;
};
Prefilter MakePrefilter(double ratio);

// Rotation kinds: 1 90 degrees clockwise, 2 180 degrees, 3 90 degrees counter-clockwise, 4 mirror
// left-right, 5 mirror top-bottom. Kinds 1 and 3 swap width and height. Besides 24-bit blocks it
// turns 8-bit ones (`bits` 8), whose colour table stays the caller's.
platform::PageBlock RotateImage(const uint8_t* src, int* width, int* height, int kind, int bits = 24);

} // namespace image
