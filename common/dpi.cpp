#include "common/dpi.h"

#include <cstdint>

namespace dpi {

namespace {
int RoundedRatio(int value, int num, int den) {
    const int64_t p = static_cast<int64_t>(value) * num;
    const int64_t half = den / 2;
    return static_cast<int>(p >= 0 ? (p + half) / den : -((-p + half) / den));
}
} // namespace

int Scale(int length96, int d) { return RoundedRatio(length96, Sane(d), kBase); }

int Unscale(int length, int d) { return RoundedRatio(length, kBase, Sane(d)); }

int ArtPercent(int d) {
    const int percent = Sane(d) * 100 / kBase;
    // Halfway points (125 %, 175 %) go to the smaller art: a slightly small image stays sharp, a
    // larger one would be cut or crowd its button.
    if (percent <= 125) return 100;
    if (percent <= 175) return 150;
    return 200;
}

} // namespace dpi
