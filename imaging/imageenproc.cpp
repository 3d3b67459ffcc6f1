#include "imaging/imageenproc.h"

#include <algorithm>
#include <cmath>

#include "imaging/hash1.h"
#include "imaging/imageencore.h"
#include "imaging/octquant.h"
#include "imaging/resample.h"

namespace vandrex {

namespace {

inline int Luminance(int red, int green, int blue) { return (red * 30 + green * 59 + blue * 11) / 100; }

// Counter-clockwise: column x, row y goes to column y, row width - 1 - x.
TBitmap TurnLeft(const TBitmap& in) {
    const int w = in.Width(), h = in.Height();
    TBitmap out(h, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* s = in.Pixel(x, y);
            std::uint8_t* d = out.Pixel(y, w - 1 - x);
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
    return out;
}

// Clockwise: column x, row y goes to column height - 1 - y, row x.
TBitmap TurnRight(const TBitmap& in) {
    const int w = in.Width(), h = in.Height();
    TBitmap out(h, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* s = in.Pixel(x, y);
            std::uint8_t* d = out.Pixel(h - 1 - y, x);
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
    return out;
}

}  // namespace

void FlipBitmap(TBitmap& picture, TFlipDirection direction) {
    const int w = picture.Width(), h = picture.Height();
    TBitmap out(w, h);
    for (int y = 0; y < h; ++y) {
        if (direction == TFlipDirection::Horizontal) {
            const std::uint8_t* s = picture.Row(y);
            for (int x = 0; x < w; ++x) {
                std::uint8_t* d = out.Pixel(w - 1 - x, y);
                d[0] = s[x * 3], d[1] = s[x * 3 + 1], d[2] = s[x * 3 + 2];
            }
        } else {
            std::copy_n(picture.Row(y), std::size_t(w) * 3, out.Row(h - 1 - y));
        }
    }
    picture = std::move(out);
}

void NegativeRegion(TBitmap& picture, const TRect& r) {
    for (int y = r.Top; y < r.Bottom; ++y) {
        std::uint8_t* p = picture.Pixel(r.Left, y);
        for (int i = 0; i < (r.Right - r.Left) * 3; ++i) p[i] = std::uint8_t(255 - p[i]);
    }
}

void GrayRegion(TBitmap& picture, const TRect& r) {
    for (int y = r.Top; y < r.Bottom; ++y) {
        std::uint8_t* p = picture.Pixel(r.Left, y);
        for (int x = r.Left; x < r.Right; ++x, p += 3) {
            const int sum = p[2] * 30 + p[1] * 59 + p[0] * 11;
            int level = sum / 100;
            const int rest = sum % 100;
            if (rest > 50 || (rest == 50 && (level & 1))) ++level;  // halves to even
            p[0] = p[1] = p[2] = std::uint8_t(level);
        }
    }
}

void EqualizeRegion(TBitmap& picture, const TRect& r) {
    const int w = picture.Width(), h = picture.Height();
    const std::int64_t share = picture.PixelCount() / 256;
    if (share == 0) return;  // too small to have a histogram share per level

    std::int64_t histogram[256] = {};
    for (std::size_t i = 0; i + 2 < picture.Data().size(); i += 3) {
        const std::uint8_t* p = picture.Data().data() + i;
        ++histogram[Luminance(p[2], p[1], p[0])];
    }
    std::uint8_t low[256], high[256];
    std::int64_t level = 0, sum = 0;
    for (int k = 0; k < 256; ++k) {
        low[k] = std::uint8_t(std::clamp<std::int64_t>(level, 0, 255));
        sum += histogram[k];
        // Raising one output level per share; whole shares in one step.
        if (sum > share) {
            const std::int64_t steps = (sum - 1) / share;
            sum -= steps * share;
            level += steps;
        }
        high[k] = std::uint8_t(std::clamp<std::int64_t>(level, 0, 255));
    }

    TBitmap out = picture;
    for (int y = r.Top; y < r.Bottom; ++y) {
        const int y0 = std::max(y - 1, 0), y1 = std::min(y + 1, h - 1);
        for (int x = r.Left; x < r.Right; ++x) {
            const int x0 = std::max(x - 1, 0), x1 = std::min(x + 1, w - 1);
            // Neighbourhood of nine, edge rows and columns repeated.
            int sb = 0, sg = 0, sr = 0;
            const int ys[3] = {y0, y, y1}, xs[3] = {x0, x, x1};
            for (int yy : ys)
                for (int xx : xs) {
                    const std::uint8_t* q = picture.Pixel(xx, yy);
                    sb += q[0], sg += q[1], sr += q[2];
                }
            const std::uint8_t* p = picture.Pixel(x, y);
            const int lum = Luminance(p[2], p[1], p[0]);
            const int near = Luminance(sr / 9, sg / 9, sb / 9);
            std::uint8_t* d = out.Pixel(x, y);
            const bool useHigh = low[lum] == high[lum] || near <= low[lum];
            const std::uint8_t* table = useHigh ? high : low;
            d[0] = table[p[0]], d[1] = table[p[1]], d[2] = table[p[2]];
        }
    }
    for (int y = r.Top; y < r.Bottom; ++y)
        std::copy_n(out.Pixel(r.Left, y), std::size_t(r.Right - r.Left) * 3, picture.Pixel(r.Left, y));
}

void RotateBitmap(TBitmap& picture, double angle) {
    angle = std::fmod(angle, 360.0);
    while (angle > 45) {
        picture = TurnLeft(picture);
        angle -= 90;
    }
    while (angle < -45) {
        picture = TurnRight(picture);
        angle += 90;
    }
}

bool TImageEnProc::Begin() {
    if (!owner_.HasPicture()) return false;
    if (AutoUndo) SaveUndo();
    return true;
}

void TImageEnProc::SaveUndo() { undo_ = owner_.Bitmap(); }

void TImageEnProc::Undo() {
    if (UndoEmpty()) return;
    owner_.Assign(undo_);
}

void TImageEnProc::Flip(TFlipDirection direction) {
    if (!Begin()) return;
    FlipBitmap(owner_.Bitmap(), direction);
    owner_.Update();
}

void TImageEnProc::Negative() {
    if (!Begin()) return;
    NegativeRegion(owner_.Bitmap(), owner_.Region());
    owner_.Update();
}

void TImageEnProc::ConvertToGray() {
    if (!Begin()) return;
    GrayRegion(owner_.Bitmap(), owner_.Region());
    owner_.Update();
}

void TImageEnProc::AutoEqualize() {
    if (!Begin()) return;
    EqualizeRegion(owner_.Bitmap(), owner_.Region());
    owner_.Update();
}

void TImageEnProc::Rotate(double angle, bool /*antialias: only used by free-angle rotation*/) {
    if (!Begin()) return;
    RotateBitmap(owner_.Bitmap(), angle);
    owner_.Update();
}

void TImageEnProc::Resample(int width, int height, int filter) {
    if (!owner_.HasPicture() || (width < 0 && height < 0)) return;
    if (AutoUndo) SaveUndo();
    const TBitmap& picture = owner_.Bitmap();
    if (width < 0) width = int(std::int64_t(picture.Width()) * height / picture.Height());
    if (height < 0) height = int(std::int64_t(width) * picture.Height() / picture.Width());
    owner_.Assign(ResampleBitmap(picture, width, height, filter));
}

void TImageEnProc::ReduceColors(int limit) {
    if (!Begin()) return;
    vandrex::ReduceColors(owner_.Bitmap(), limit);
    owner_.Update();
}

std::int64_t TImageEnProc::CalcImageNumColors() const {
    if (!owner_.HasPicture()) return 0;
    return CountColors(owner_.Bitmap(), owner_.Region());
}

}  // namespace vandrex
