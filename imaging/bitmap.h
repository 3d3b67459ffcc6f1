#pragma once
// TBitmap: the 24-bit picture every imaging operation works on. Pixels are
// stored blue, green, red, three bytes each, rows from top to bottom without
// padding. A bitmap with a zero width or height holds no picture.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vandrex {

// A colour as the palette and the GIF colour tables hold it.
struct TRGB {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TRGB&, const TRGB&) = default;
};

// A rectangle of pixels; Right and Bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

class TBitmap {
public:
    // The largest picture any loader or operation creates (about 268 million
    // pixels, 805 MB); larger requests are refused before allocating.
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
    static constexpr int kMaxSide = 65535;

    TBitmap() = default;
    // A black picture; throws std::length_error beyond kMaxSide / kMaxPixels.
    TBitmap(int width, int height);

    static bool SizeAllowed(std::int64_t width, std::int64_t height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    std::int64_t PixelCount() const { return std::int64_t{width_} * height_; }

    std::uint8_t* Row(int y) { return pixels_.data() + std::size_t(y) * width_ * 3; }
    const std::uint8_t* Row(int y) const { return pixels_.data() + std::size_t(y) * width_ * 3; }
    std::uint8_t* Pixel(int x, int y) { return Row(y) + std::size_t(x) * 3; }
    const std::uint8_t* Pixel(int x, int y) const { return Row(y) + std::size_t(x) * 3; }

    TRGB Color(int x, int y) const {
        const std::uint8_t* p = Pixel(x, y);
        return {p[2], p[1], p[0]};
    }
    void SetColor(int x, int y, TRGB c) {
        std::uint8_t* p = Pixel(x, y);
        p[0] = c.Blue;
        p[1] = c.Green;
        p[2] = c.Red;
    }
    void Fill(TRGB c);

    std::vector<std::uint8_t>& Data() { return pixels_; }
    const std::vector<std::uint8_t>& Data() const { return pixels_; }

    // The whole picture as a rectangle.
    TRect Bounds() const { return {0, 0, width_, height_}; }

    friend bool operator==(const TBitmap&, const TBitmap&) = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace vandrex
