#pragma once
// Resampling of 24-bit pictures. Filter numbers 1..6 are two-pass separable
// filters (horizontal into a work bitmap of the new width and old height,
// then vertical): 1 triangle, 2 Hermite, 3 bell, 4 cubic B-spline,
// 5 Lanczos-3, 6 Mitchell-Netravali (B = C = 1/3). Filter 0 is an area
// average: every output pixel is the mean of the source area it covers.

#include "imaging/bitmap.h"

namespace vandrex {

// Filter value at distance t and the filter's support (its half width).
double FilterValue(int filter, double t);
double FilterSupport(int filter);

// The picture resampled to width x height (both at least 1). Filters outside
// 0..6 are taken as 0.
TBitmap ResampleBitmap(const TBitmap& source, int width, int height, int filter);

}  // namespace vandrex
