#include "image/scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace image {

namespace {

inline int Nearest(double x) { return static_cast<int>(x + 0.5); }

inline size_t Stride24(int width) { return static_cast<size_t>(StrideFor(static_cast<uint32_t>(width), 24)); }

platform::PageBlock Alloc24(int width, int height) {
    if (width <= 0 || height <= 0)
        return platform::PageBlock();
    return AllocPixelBlock(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24);
}

// ---- Method 0: area averaging -------------------------------------------------------------------

// Where outputs end along a line of n samples reduced to m. The decisions depend only on positions,
// so they are made once per pass and shared by every row (or column) and channel.
struct AreaPlan {
    std::vector<uint8_t> table;  // T: accumulated sum -> mean
    std::vector<uint8_t> emits;  // per source sample except the last: 1 when an output ends here
    std::vector<double> carry;   // the share of that sample that belongs to the next output
    uint32_t table_max = 0;      // highest valid index into T
};

AreaPlan MakeAreaPlan(int n, int m) {
    AreaPlan plan;
    const double d = static_cast<double>(n) / m;
    const int L = Nearest(d * 255.0);
    plan.table.resize(static_cast<size_t>(L) + 2);
    for (int i = 0; i <= L; ++i)
        plan.table[i] = static_cast<uint8_t>(std::min(Nearest(i / d), 255));
    plan.table[L + 1] = 255;
    plan.table_max = static_cast<uint32_t>(L + 1);
    plan.emits.assign(static_cast<size_t>(n), 0);
    plan.carry.assign(static_cast<size_t>(n), 0.0);
    double s = 0;
    int emitted = 0;
    for (int i = 0; i + 1 < n; ++i) {
        s += 1;
        // The tolerance only absorbs rounding drift: a real shortfall is at least 1/m.
        if (s >= d - 1e-9 && emitted < m - 1) {
            s = std::max(s - d, 0.0);
            plan.emits[i] = 1;
            plan.carry[i] = s;
            ++emitted;
        }
    }
    return plan;
}

inline uint8_t AreaOut(const AreaPlan& plan, uint32_t index) { return plan.table[std::min(index, plan.table_max)]; }

// Reduces each row of `height` rows from sw to tw pixels.
void AreaRows(const uint8_t* src, int sw, int height, uint8_t* dst, int tw) {
    const AreaPlan plan = MakeAreaPlan(sw, tw);
    const size_t ss = Stride24(sw), ds = Stride24(tw);
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = src + y * ss;
        uint8_t* o = dst + y * ds;
        uint32_t a0 = 0, a1 = 0, a2 = 0;
        for (int x = 0; x + 1 < sw; ++x, p += 3) {
            a0 += p[0];
            a1 += p[1];
            a2 += p[2];
            if (plan.emits[x]) {
                const double s = plan.carry[x];
                const uint32_t c0 = static_cast<uint32_t>(Nearest(p[0] * s));
                const uint32_t c1 = static_cast<uint32_t>(Nearest(p[1] * s));
                const uint32_t c2 = static_cast<uint32_t>(Nearest(p[2] * s));
                o[0] = AreaOut(plan, a0 - c0);
                o[1] = AreaOut(plan, a1 - c1);
                o[2] = AreaOut(plan, a2 - c2);
                o += 3;
                a0 = c0;
                a1 = c1;
                a2 = c2;
            }
        }
        o[0] = AreaOut(plan, a0 + p[0]);
        o[1] = AreaOut(plan, a1 + p[1]);
        o[2] = AreaOut(plan, a2 + p[2]);
    }
}

// Reduces the columns of a block of `width` pixels from sh to th rows.
void AreaColumns(const uint8_t* src, int width, int sh, uint8_t* dst, int th) {
    const AreaPlan plan = MakeAreaPlan(sh, th);
    const size_t stride = Stride24(width);
    const size_t n = static_cast<size_t>(width) * 3;
    std::vector<uint32_t> acc(n, 0);
    uint32_t carry_of[256];
    int out_row = 0;
    for (int y = 0; y + 1 < sh; ++y) {
        const uint8_t* p = src + y * stride;
        uint32_t* a = acc.data();
        for (size_t i = 0; i < n; ++i)
            a[i] += p[i];
        if (!plan.emits[y])
            continue;
        const double s = plan.carry[y];
        for (int v = 0; v < 256; ++v)
            carry_of[v] = static_cast<uint32_t>(Nearest(v * s));
        uint8_t* o = dst + out_row * stride;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c = carry_of[p[i]];
            o[i] = AreaOut(plan, a[i] - c);
            a[i] = c;
        }
        ++out_row;
    }
    const uint8_t* p = src + (sh - 1) * stride;
    uint8_t* o = dst + out_row * stride;
    for (size_t i = 0; i < n; ++i)
        o[i] = AreaOut(plan, acc[i] + p[i]);
}

// ---- Method 0: linear enlargement ---------------------------------------------------------------

struct LinearTap {
    int left, right;
    double f;
};

std::vector<LinearTap> MakeLinearTaps(int n, int m) {
    std::vector<LinearTap> taps(static_cast<size_t>(m));
    const double c = static_cast<double>(n) / m;
    double pos = c * 0.5 - 0.5;
    for (int k = 0; k < m; ++k, pos += c) {
        const double q = pos < 0 ? 0 : pos;
        int i = static_cast<int>(q);
        double f = q - i;
        if (i > n - 1) {
            i = n - 1;
            f = 0;
        }
        taps[k] = LinearTap{i, i + 1 < n ? i + 1 : i, f};
    }
    return taps;
}

inline uint8_t Lerp(uint8_t l, uint8_t r, double f) {
    return static_cast<uint8_t>(std::min(Nearest(l * (1 - f) + r * f), 255));
}

void LinearRows(const uint8_t* src, int sw, int height, uint8_t* dst, int tw) {
    const std::vector<LinearTap> taps = MakeLinearTaps(sw, tw);
    const size_t ss = Stride24(sw), ds = Stride24(tw);
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = src + y * ss;
        uint8_t* o = dst + y * ds;
        for (int x = 0; x < tw; ++x, o += 3) {
            const LinearTap& t = taps[x];
            const uint8_t* l = p + 3 * t.left;
            const uint8_t* r = p + 3 * t.right;
            o[0] = Lerp(l[0], r[0], t.f);
            o[1] = Lerp(l[1], r[1], t.f);
            o[2] = Lerp(l[2], r[2], t.f);
        }
    }
}

void LinearColumns(const uint8_t* src, int width, int sh, uint8_t* dst, int th) {
    const std::vector<LinearTap> taps = MakeLinearTaps(sh, th);
    const size_t stride = Stride24(width);
    const size_t n = static_cast<size_t>(width) * 3;
    for (int y = 0; y < th; ++y) {
        const LinearTap& t = taps[y];
        const uint8_t* l = src + t.left * stride;
        const uint8_t* r = src + t.right * stride;
        uint8_t* o = dst + y * stride;
        for (size_t i = 0; i < n; ++i)
            o[i] = Lerp(l[i], r[i], t.f);
    }
}

platform::PageBlock ScaleAreaLinear(const uint8_t* src, int sw, int sh, int tw, int th) {
    platform::PageBlock vertical;
    const uint8_t* cur = src;
    if (sh != th) {
        vertical = Alloc24(sw, th);
        if (!vertical)
            return vertical;
        if (th < sh)
            AreaColumns(src, sw, sh, vertical.Get(), th);
        else
            LinearColumns(src, sw, sh, vertical.Get(), th);
        if (sw == tw)
            return vertical;
        cur = vertical.Get();
    }
    platform::PageBlock out = Alloc24(tw, th);
    if (!out)
        return out;
    if (tw < sw)
        AreaRows(cur, sw, th, out.Get(), tw);
    else
        LinearRows(cur, sw, th, out.Get(), tw);
    return out;
}

// ---- Method 1: stepped bicubic ------------------------------------------------------------------

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Blurs `count` lines of `n` samples; sample k of line j is at base + j * line_step + k * sample_step.
void BlurLines(const uint8_t* src, uint8_t* dst, int n, size_t sample_step, int lines, size_t line_step,
               const Prefilter& pf) {
    const int R = pf.radius;
    const int* w = pf.weights;
    for (int j = 0; j < lines; ++j) {
        const uint8_t* p = src + j * line_step;
        uint8_t* o = dst + j * line_step;
        for (int k = 0; k < n; ++k) {
            const size_t at = k * sample_step;
            if (k >= R && k + R < n) {
                int sum = w[0] * p[at];
                for (int r = 1; r <= R; ++r)
                    sum += w[r] * (p[at - r * sample_step] + p[at + r * sample_step]);
                o[at] = ClampByte(sum >> pf.shift);
            } else {
                int sum = 0, weight = 0;
                for (int r = -R; r <= R; ++r) {
                    if (k + r < 0 || k + r >= n)
                        continue;
                    const int wr = w[r < 0 ? -r : r];
                    sum += wr * p[static_cast<ptrdiff_t>(at) + r * static_cast<ptrdiff_t>(sample_step)];
                    weight += wr;
                }
                o[at] = ClampByte(weight ? sum / weight : p[at]);
            }
        }
    }
}

platform::PageBlock BlurHorizontal(const uint8_t* src, int width, int height, const Prefilter& pf) {
    platform::PageBlock out = Alloc24(width, height);
    if (!out)
        return out;
    const size_t stride = Stride24(width);
    for (int y = 0; y < height; ++y)
        BlurLines(src + y * stride, out.Get() + y * stride, width, 3, 3, 1, pf);
    return out;
}

platform::PageBlock BlurVertical(const uint8_t* src, int width, int height, const Prefilter& pf) {
    platform::PageBlock out = Alloc24(width, height);
    if (!out)
        return out;
    const size_t stride = Stride24(width);
    const int R = pf.radius;
    const int* w = pf.weights;
    const size_t n = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        uint8_t* o = out.Get() + y * stride;
        if (y >= R && y + R < height) {
            const uint8_t* c = src + y * stride;
            const uint8_t* up[3] = {c, src + (y - std::min(R, 1)) * stride, src + (y - R) * stride};
            const uint8_t* down[3] = {c, src + (y + std::min(R, 1)) * stride, src + (y + R) * stride};
            for (size_t i = 0; i < n; ++i) {
                int sum = w[0] * c[i];
                for (int r = 1; r <= R; ++r)
                    sum += w[r] * (up[r][i] + down[r][i]);
                o[i] = ClampByte(sum >> pf.shift);
            }
        } else {
            for (size_t i = 0; i < n; ++i) {
                int sum = 0, weight = 0;
                for (int r = -R; r <= R; ++r) {
                    if (y + r < 0 || y + r >= height)
                        continue;
                    const int wr = w[r < 0 ? -r : r];
                    sum += wr * src[(y + r) * stride + i];
                    weight += wr;
                }
                o[i] = ClampByte(weight ? sum / weight : src[y * stride + i]);
            }
        }
    }
    return out;
}

inline double CubicWeight(double t) {
    if (t <= 1)
        return (t - 2) * t * t + 1;
    if (t <= 2)
        return ((-t + 5) * t - 8) * t + 4;
    return 0;
}

struct CubicTaps {
    int index[4];
    double weight[4];
};

std::vector<CubicTaps> MakeCubicTaps(int n, int m) {
    std::vector<CubicTaps> taps(static_cast<size_t>(m));
    const double step = static_cast<double>(n) / m;
    double u = step * 0.5 - 0.5;
    for (int k = 0; k < m; ++k, u += step) {
        const int i = static_cast<int>(std::floor(u));
        for (int j = 0; j < 4; ++j) {
            const int tap = i - 1 + j;
            taps[k].weight[j] = CubicWeight(std::fabs(u - tap));
            taps[k].index[j] = std::min(std::max(tap, 0), n - 1);
        }
    }
    return taps;
}

// Sums are exact mathematically but not in floating point; without the nudge a flat area of 255 can
// come out as 254.999... and truncate to 254.
constexpr double kTruncNudge = 1e-7;

platform::PageBlock Bicubic(const uint8_t* src, int sw, int sh, int tw, int th) {
    platform::PageBlock out = Alloc24(tw, th);
    if (!out)
        return out;
    const std::vector<CubicTaps> cols = MakeCubicTaps(sw, tw);
    const std::vector<CubicTaps> rows = MakeCubicTaps(sh, th);
    const size_t ss = Stride24(sw), ds = Stride24(tw);
    const size_t n = static_cast<size_t>(tw) * 3;
    // Horizontal sums of four source rows, kept while consecutive output rows share them.
    std::vector<double> cache(4 * n);
    int cached_row[4] = {-1, -1, -1, -1};
    auto fill = [&](int slot, int row) {
        cached_row[slot] = row;
        double* h = &cache[slot * n];
        const uint8_t* p = src + row * ss;
        for (int x = 0; x < tw; ++x) {
            const CubicTaps& t = cols[x];
            const uint8_t* q0 = p + 3 * t.index[0];
            const uint8_t* q1 = p + 3 * t.index[1];
            const uint8_t* q2 = p + 3 * t.index[2];
            const uint8_t* q3 = p + 3 * t.index[3];
            for (int c = 0; c < 3; ++c)
                h[3 * x + c] = t.weight[0] * q0[c] + t.weight[1] * q1[c] + t.weight[2] * q2[c] +
                               t.weight[3] * q3[c];
        }
    };
    for (int y = 0; y < th; ++y) {
        const CubicTaps& t = rows[y];
        auto needed = [&](int row) {
            return row == t.index[0] || row == t.index[1] || row == t.index[2] || row == t.index[3];
        };
        const double* h[4];
        for (int j = 0; j < 4; ++j) {
            int slot = -1;
            for (int s = 0; s < 4 && slot < 0; ++s)
                if (cached_row[s] == t.index[j])
                    slot = s;
            if (slot < 0) {
                // At most four rows are needed, so a slot holding none of them always exists.
                for (int s = 0; s < 4 && slot < 0; ++s)
                    if (!needed(cached_row[s]))
                        slot = s;
                fill(slot, t.index[j]);
            }
            h[j] = &cache[slot * n];
        }
        uint8_t* o = out.Get() + y * ds;
        for (size_t i = 0; i < n; ++i) {
            const double v = t.weight[0] * h[0][i] + t.weight[1] * h[1][i] + t.weight[2] * h[2][i] +
                             t.weight[3] * h[3][i] + kTruncNudge;
            o[i] = v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v));
        }
    }
    return out;
}

platform::PageBlock ScaleBicubic(Scaler& scaler, const uint8_t* src, int sw, int sh, int tw, int th) {
    const std::vector<BicubicStep> steps = PlanBicubicSteps(sw, sh, tw, th);
    platform::PageBlock current;
    const uint8_t* cur = src;
    for (const BicubicStep& step : steps) {
        platform::PageBlock blurred;
        if (step.blur_vertical) {
            const Prefilter pf = MakePrefilter(static_cast<double>(step.from_height) / step.to_height);
            std::copy(pf.weights, pf.weights + 3, scaler.prefilter);
            blurred = BlurVertical(cur, step.from_width, step.from_height, pf);
            if (!blurred)
                return blurred;
            cur = blurred.Get();
        }
        if (step.blur_horizontal) {
            const Prefilter pf = MakePrefilter(static_cast<double>(step.from_width) / step.to_width);
            std::copy(pf.weights, pf.weights + 3, scaler.prefilter);
            platform::PageBlock again = BlurHorizontal(cur, step.from_width, step.from_height, pf);
            if (!again)
                return again;
            blurred = std::move(again);
            cur = blurred.Get();
        }
        platform::PageBlock next = Bicubic(cur, step.from_width, step.from_height, step.to_width, step.to_height);
        if (!next)
            return next;
        current = std::move(next);
        cur = current.Get();
    }
    return current;
}

// ---- Method 2: nearest neighbour ----------------------------------------------------------------

platform::PageBlock ScaleNearest(const uint8_t* src, int sw, int sh, int tw, int th) {
    platform::PageBlock out = Alloc24(tw, th);
    if (!out)
        return out;
    std::vector<int> col(static_cast<size_t>(tw));
    const double ex = static_cast<double>(sw) / tw;
    double px = ex * 0.5;
    for (int x = 0; x < tw; ++x, px += ex)
        col[x] = std::min(static_cast<int>(px), sw - 1) * 3;
    const size_t ss = Stride24(sw), ds = Stride24(tw);
    const double ey = static_cast<double>(sh) / th;
    double py = ey * 0.5;
    for (int y = 0; y < th; ++y, py += ey) {
        const uint8_t* p = src + std::min(static_cast<int>(py), sh - 1) * ss;
        uint8_t* o = out.Get() + y * ds;
        for (int x = 0; x < tw; ++x, o += 3) {
            const uint8_t* q = p + col[x];
            o[0] = q[0];
            o[1] = q[1];
            o[2] = q[2];
        }
    }
    return out;
}

} // namespace

Prefilter MakePrefilter(double ratio) {
    Prefilter pf{};
    const double h = ratio * 0.5;
    pf.radius = std::min(static_cast<int>(std::ceil(h)), 2);
    if (pf.radius < 0)
        pf.radius = 0;
    int w[3] = {255, 0, 0};
    if (h != 0) {
        const double g = 2 * (h / 2) * (h / 2);
        for (int k = 1; k <= pf.radius; ++k)
            w[k] = Nearest(std::exp(-(k * k) / g) * 255);
    }
    int total = w[0];
    for (int k = 1; k <= pf.radius; ++k)
        total += 2 * w[k];
    int shift = 0;
    while ((total >> shift) != 0)
        ++shift;
    pf.shift = shift;
    for (int k = 0; k <= pf.radius; ++k)
        pf.weights[k] = Nearest(static_cast<double>(w[k]) * (1 << shift) / total);
    return pf;
}

std::vector<BicubicStep> PlanBicubicSteps(int sw, int sh, int tw, int th) {
    std::vector<BicubicStep> steps;
    if (sw <= 0 || sh <= 0 || tw <= 0 || th <= 0)
        return steps;
    auto first = [](int target, int source) {
        int64_t v = target;
        while (v * 4 < source)
            v *= 4;
        return static_cast<int>(v);
    };
    int cw = sw, ch = sh;
    int iw = first(tw, sw), ih = first(th, sh);
    while (cw != tw || ch != th) {
        steps.push_back(BicubicStep{cw, ch, iw, ih, ih < ch, iw < cw});
        cw = iw;
        ch = ih;
        iw = std::max(cw / 4, tw);
        ih = std::max(ch / 4, th);
    }
    return steps;
}

platform::PageBlock ScaleImage(Scaler& scaler, const uint8_t* src, int sw, int sh, int tw, int th,
                               int method, const BitmapInfo* info) {
    size_t bytes = 0;
    if (!src || sw <= 0 || sh <= 0 || tw <= 0 || th <= 0 ||
        !PixelBlockSize(static_cast<uint32_t>(tw), static_cast<uint32_t>(th), 24, &bytes))
        return platform::PageBlock();
    switch (method) {
    case kScaleAreaLinear:
        if (sw == tw && sh == th)
            return platform::PageBlock();
        return ScaleAreaLinear(src, sw, sh, tw, th);
    case kScaleBicubic:
        if (sw == tw && sh == th) {
            // Nothing to resample: the caller still gets its own copy.
            platform::PageBlock copy = Alloc24(tw, th);
            if (copy)
                std::memcpy(copy.Get(), src, Stride24(sw) * sh);
            return copy;
        }
        return ScaleBicubic(scaler, src, sw, sh, tw, th);
    case kScaleNearest:
        return ScaleNearest(src, sw, sh, tw, th);
    case kScaleSystem:
        if (!scaler.dc || !scaler.system_stretch || !info)
            return platform::PageBlock();
        return scaler.system_stretch(scaler, src, sw, sh, tw, th, info);
    default:
        return platform::PageBlock();
    }
}

PictureSize FitToBox(int width, int height, int box_width, int box_height) {
    if (width <= box_width && height <= box_height)
        return PictureSize{width, height};
    const double rw = static_cast<double>(box_width) / width;
    const double rh = static_cast<double>(box_height) / height;
    PictureSize s;
    if (rh > rw) {
        s.width = box_width;
        s.height = Nearest(height * rw);
    } else {
        s.width = Nearest(width * rh);
        s.height = box_height;
    }
    s.width = std::max(s.width, 1);
    s.height = std::max(s.height, 1);
    return s;
}

} // namespace image
