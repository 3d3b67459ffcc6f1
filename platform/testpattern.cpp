#include "platform/testpattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace vandrex {

namespace {

// 5 x 7 digits, each row a 5-bit mask (bit 4 is the left column); index 10
// is ':', 11 is '.'.
constexpr std::uint8_t kGlyphs[12][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},
};

std::uint8_t Clamp(int v) { return std::uint8_t(std::clamp(v, 0, 255)); }

void FillRect(TVideoFrame& f, int left, int top, int right, int bottom, std::uint8_t r,
              std::uint8_t g, std::uint8_t b) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, f.Width);
    bottom = std::min(bottom, f.Height);
    if (left >= right || top >= bottom) return;
    std::uint8_t* first = f.Pixels.data() + (std::size_t(top) * f.Width + left) * 3;
    for (int x = 0; x < right - left; ++x) {
        first[x * 3] = b;
        first[x * 3 + 1] = g;
        first[x * 3 + 2] = r;
    }
    const std::size_t bytes = std::size_t(right - left) * 3;
    for (int y = top + 1; y < bottom; ++y)
        std::memcpy(f.Pixels.data() + (std::size_t(y) * f.Width + left) * 3, first, bytes);
}

void DrawText(TVideoFrame& f, const std::string& text, int left, int top, int scale,
              std::uint8_t level) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const int g = c == ':' ? 10 : c == '.' ? 11 : (c >= '0' && c <= '9') ? c - '0' : -1;
        if (g < 0) continue;
        const int x0 = left + int(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (kGlyphs[g][row] & (0x10 >> col))
                    FillRect(f, x0 + col * scale, top + row * scale, x0 + (col + 1) * scale,
                             top + (row + 1) * scale, level, level, level);
    }
}

std::string TwoDigits(std::int64_t v) {
    std::string s = std::to_string(v % 100);
    return s.size() < 2 ? "0" + s : s;
}

}  // namespace

const std::vector<TFrameSize>& TestPatternSizes() {
    static const std::vector<TFrameSize> sizes{{320, 240}, {160, 120}, {176, 144}, {352, 288},
                                               {640, 480}, {800, 600}, {1280, 720}};
    return sizes;
}

void RenderTestPattern(TVideoFrame& f, std::int64_t number, double fps, int brightness) {
    f.Number = number;
    const int w = f.Width, h = f.Height;
    const int barsBottom = h * 2 / 3;
    auto level = [brightness](std::uint8_t v) { return Clamp(v + brightness); };
    for (int i = 0; i < 8; ++i) {
        const TPatternColor c = kPatternBars[i];
        FillRect(f, PatternBarLeft(i, w), 0, PatternBarLeft(i + 1, w), barsBottom, level(c.Red),
                 level(c.Green), level(c.Blue));
    }
    const std::uint8_t dark = level(48);
    FillRect(f, 0, barsBottom, w, h, dark, dark, dark);

    // Clock and counter in the band under the bars.
    const int band = h - barsBottom;
    const int scale = std::max(1, std::min(band / 2 / 8, w / 2 / (6 * 11)));
    const double seconds = fps > 0 ? double(number) / fps : 0.0;
    const auto whole = std::int64_t(seconds);
    const auto hundredths = std::int64_t((seconds - double(whole)) * 100.0);
    const std::string clock = TwoDigits(whole / 3600) + ":" + TwoDigits(whole / 60 % 60) + ":" +
                              TwoDigits(whole % 60) + "." + TwoDigits(hundredths);
    const int textTop = barsBottom + std::max(1, scale);
    DrawText(f, clock, std::max(1, scale), textTop, scale, level(235));
    const std::string counter = std::to_string(number);
    DrawText(f, counter, w - int(counter.size()) * 6 * scale - scale, textTop, scale, level(235));

    // The moving block runs along the bottom of the band, back and forth.
    const int side = std::max(2, band / 3);
    const int travel = std::max(1, w - side);
    const std::int64_t step = (number * 4) % (2 * std::int64_t(travel));
    const int x = int(step < travel ? step : 2 * travel - step);
    const std::uint8_t white = level(255);
    FillRect(f, x, h - side, x + side, h, white, white, white);
}

void AppendTestTone(std::vector<std::uint8_t>& out, std::int64_t first, int count, int rate,
                    int channels, int bits) {
    const double k = 2.0 * std::numbers::pi * 1000.0 / double(rate);
    out.reserve(out.size() + std::size_t(count) * channels * (bits / 8));
    for (int i = 0; i < count; ++i) {
        // Phase from the sample number modulo whole periods keeps it exact
        // over long recordings.
        const double s = 0.5 * std::sin(k * double((first + i) % rate));
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                out.push_back(Clamp(int(std::lround(128.0 + s * 127.0))));
            } else {
                const auto v = std::int16_t(std::lround(s * 32767.0));
                out.push_back(std::uint8_t(v & 0xFF));
                out.push_back(std::uint8_t((v >> 8) & 0xFF));
            }
        }
    }
}

}  // namespace vandrex
