#pragma once
// Generated pictures shared by the imaging tests and benchmarks.

#include <cstdint>

#include "imaging/bitmap.h"

namespace vandrex::test {

// Random pixels drawn from a palette of `colors` random colours.
TBitmap NoisePicture(int width, int height, int colors, std::uint32_t seed);
// A smooth picture with noise: many colours, like a photo.
TBitmap PhotoPicture(int width, int height, std::uint32_t seed);

}  // namespace vandrex::test
