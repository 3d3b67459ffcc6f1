#include "imaging/bitmap.h"

#include <stdexcept>

namespace vandrex {

bool TBitmap::SizeAllowed(std::int64_t width, std::int64_t height) {
    return width >= 0 && height >= 0 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

TBitmap::TBitmap(int width, int height) {
    if (!SizeAllowed(width, height)) throw std::length_error("picture too large");
    if (width == 0 || height == 0) return;
    width_ = width;
    height_ = height;
    pixels_.assign(std::size_t(width) * height * 3, 0);
}

void TBitmap::Fill(TRGB c) {
    for (std::size_t i = 0; i + 2 < pixels_.size(); i += 3) {
        pixels_[i] = c.Blue;
        pixels_[i + 1] = c.Green;
        pixels_[i + 2] = c.Red;
    }
}

}  // namespace vandrex
