// Screen scaling. Every pixel number the program lays out is written at 96 dpi and scaled by the
// window's dpi when it is used; stored values (settings, the cache's thumbnail box, saved layouts)
// stay in 96-dpi units, so a settings file moves between screens unchanged.
#pragma once

namespace dpi {

constexpr int kBase = 96;

// A length at 96 dpi for a window at `dpi`, rounded to the nearest pixel (halves away from zero).
int Scale(int length96, int dpi);
// A length measured at `dpi` back in 96-dpi units (what is stored), rounded the same way.
int Unscale(int length, int dpi);
// A font height in the LOGFONT sense (negative: character height) given at 96 dpi.
inline int FontHeight(int height96, int dpi) { return Scale(height96, dpi); }
// The drawn art nearest to `dpi`: 100, 150 or 200 (percent of 96 dpi); 125 % takes 100 %.
int ArtPercent(int dpi);
// A dpi that the system reported, made usable: 0 or less (no answer) is 96.
inline int Sane(int dpi) { return dpi > 0 ? dpi : kBase; }

} // namespace dpi

namespace dpi {
// The side of drawn art made at `size100` pixels for 100 %, in the set chosen for `dpi`.
inline int ArtSize(int size100, int dpi) { return size100 * ArtPercent(dpi) / 100; }
} // namespace dpi
