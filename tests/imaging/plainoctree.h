#pragma once
// The octree colour quantizer written plainly, one pixel at a time along its
// whole path, with the same merge order as OctQuant: the reference its faster
// build is compared with.

#include <vector>

#include "imaging/bitmap.h"

namespace vandrex::test {

struct TPlainQuantized {
    std::vector<TRGB> Palette;
    std::vector<int> Indices;  // one per pixel, row-major
    int LeafLevel = 8;
};

TPlainQuantized PlainOctreeQuantize(const TBitmap& picture, int colorLimit);

}  // namespace vandrex::test
