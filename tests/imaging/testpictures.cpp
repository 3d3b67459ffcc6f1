#include "testpictures.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace vandrex::test {

TBitmap NoisePicture(int width, int height, int colors, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<TRGB> palette;
    for (int i = 0; i < colors; ++i)
        palette.push_back({std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.SetColor(x, y, palette[rng() % colors]);
    return b;
}

TBitmap PhotoPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 rng(seed);
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = b.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const double fx = double(x) / width, fy = double(y) / height;
            const int n = int(rng() % 9) - 4;
            auto clamp = [](double v) { return std::uint8_t(std::clamp(v, 0.0, 255.0)); };
            p[0] = clamp(128 + 100 * std::sin(6 * fx + 2 * fy) + n);
            p[1] = clamp(120 + 90 * std::cos(5 * fy - 3 * fx) + n);
            p[2] = clamp(60 + 180 * fx * fy + n);
        }
    }
    return b;
}

}  // namespace vandrex::test
