#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/rounding.h"

namespace vandrex {

namespace {

double Sinc(double x) {
    if (x == 0) return 1;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

// Weighted source positions of every output position, flattened.
struct TContributors {
    std::vector<int> Start;  // first entry of output i; Start[n] = end
    std::vector<int> Index;
    std::vector<double> Weight;
};

int Mirror(int j, int size) {
    if (j < 0) j = -j;
    if (j >= size) j = 2 * size - 1 - j;
    // Very small pictures can mirror out of range again: clamp to the edge.
    return std::clamp(j, 0, size - 1);
}

TContributors FilterContributors(int srcSize, int dstSize, int filter) {
    TContributors c;
    c.Start.reserve(dstSize + 1);
    const double scale = double(dstSize) / srcSize;
    const double support = FilterSupport(filter);
    for (int i = 0; i < dstSize; ++i) {
        c.Start.push_back(int(c.Index.size()));
        const double centre = i / scale;
        if (scale >= 1) {
            const int left = int(std::floor(centre - support));
            const int right = int(std::ceil(centre + support));
            for (int j = left; j <= right; ++j) {
                const double w = FilterValue(filter, centre - j);
                if (w == 0) continue;
                c.Index.push_back(Mirror(j, srcSize));
                c.Weight.push_back(w);
            }
        } else {
            const double width = support / scale;
            const int left = int(std::floor(centre - width));
            const int right = int(std::ceil(centre + width));
            for (int j = left; j <= right; ++j) {
                const double w = FilterValue(filter, (centre - j) * scale) * scale;
                if (w == 0) continue;
                c.Index.push_back(Mirror(j, srcSize));
                c.Weight.push_back(w);
            }
        }
    }
    c.Start.push_back(int(c.Index.size()));
    return c;
}

// Area coverage: output i covers source [i / scale, (i + 1) / scale); each
// source pixel weighs with the part of it inside, normalized to sum 1.
TContributors AreaContributors(int srcSize, int dstSize) {
    TContributors c;
    c.Start.reserve(dstSize + 1);
    const double step = double(srcSize) / dstSize;
    for (int i = 0; i < dstSize; ++i) {
        c.Start.push_back(int(c.Index.size()));
        const double a = i * step;
        const double b = std::min((i + 1) * step, double(srcSize));
        const int first = int(std::floor(a));
        const int last = std::min(int(std::ceil(b)) - 1, srcSize - 1);
        const double total = b - a;
        for (int j = first; j <= last; ++j) {
            const double cover = std::min(b, j + 1.0) - std::max(a, double(j));
            if (cover <= 0) continue;
            c.Index.push_back(j);
            c.Weight.push_back(cover / total);
        }
    }
    c.Start.push_back(int(c.Index.size()));
    return c;
}

inline std::uint8_t ToByte(double v) {
    if (v <= 0) return 0;
    if (v >= 255) return 255;
    return std::uint8_t(Round(v));
}

}  // namespace

double FilterSupport(int filter) {
    switch (filter) {
        case 1: return 1.0;
        case 2: return 1.0;
        case 3: return 1.5;
        case 4: return 2.0;
        case 5: return 3.0;
        case 6: return 2.0;
        default: return 0.5;
    }
}

double FilterValue(int filter, double t) {
    if (t < 0) t = -t;
    switch (filter) {
        case 1:  // triangle
            return t < 1 ? 1 - t : 0;
        case 2:  // Hermite
            return t < 1 ? (2 * t - 3) * t * t + 1 : 0;
        case 3:  // bell
            if (t < 0.5) return 0.75 - t * t;
            if (t < 1.5) {
                t -= 1.5;
                return 0.5 * t * t;
            }
            return 0;
        case 4:  // cubic B-spline
            if (t < 1) {
                const double tt = t * t;
                return 0.5 * tt * t - tt + 2.0 / 3.0;
            }
            if (t < 2) {
                t = 2 - t;
                return t * t * t / 6;
            }
            return 0;
        case 5:  // Lanczos, 3 lobes
            return t < 3 ? Sinc(t) * Sinc(t / 3) : 0;
        case 6: {  // Mitchell-Netravali, B = C = 1/3
            constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
            const double tt = t * t;
            if (t < 1)
                return ((12 - 9 * B - 6 * C) * tt * t + (-18 + 12 * B + 6 * C) * tt + (6 - 2 * B)) / 6;
            if (t < 2)
                return ((-B - 6 * C) * tt * t + (6 * B + 30 * C) * tt + (-12 * B - 48 * C) * t +
                        (8 * B + 24 * C)) /
                       6;
            return 0;
        }
        default:  // box
            return t <= 0.5 ? 1 : 0;
    }
}

TBitmap ResampleBitmap(const TBitmap& source, int width, int height, int filter) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (source.Empty()) return TBitmap(width, height);
    if (filter < 0 || filter > 6) filter = 0;
    const int sw = source.Width();
    const int sh = source.Height();
    const TContributors cx = filter == 0 ? AreaContributors(sw, width) : FilterContributors(sw, width, filter);
    const TContributors cy = filter == 0 ? AreaContributors(sh, height) : FilterContributors(sh, height, filter);

    // Horizontal pass into the work bitmap (new width, old height).
    TBitmap work(width, sh);
    for (int y = 0; y < sh; ++y) {
        const std::uint8_t* src = source.Row(y);
        std::uint8_t* dst = work.Row(y);
        for (int x = 0; x < width; ++x, dst += 3) {
            double b = 0, g = 0, r = 0;
            for (int k = cx.Start[x]; k < cx.Start[x + 1]; ++k) {
                const std::uint8_t* p = src + std::size_t(cx.Index[k]) * 3;
                const double w = cx.Weight[k];
                b += p[0] * w;
                g += p[1] * w;
                r += p[2] * w;
            }
            dst[0] = ToByte(b);
            dst[1] = ToByte(g);
            dst[2] = ToByte(r);
        }
    }

    // Vertical pass, a row at a time so the work bitmap is read row-wise.
    TBitmap result(width, height);
    std::vector<double> acc(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int k = cy.Start[y]; k < cy.Start[y + 1]; ++k) {
            const std::uint8_t* src = work.Row(cy.Index[k]);
            const double w = cy.Weight[k];
            for (std::size_t i = 0; i < acc.size(); ++i) acc[i] += src[i] * w;
        }
        std::uint8_t* dst = result.Row(y);
        for (std::size_t i = 0; i < acc.size(); ++i) dst[i] = ToByte(acc[i]);
    }
    return result;
}

}  // namespace vandrex
