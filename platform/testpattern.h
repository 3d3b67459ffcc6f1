#pragma once
// The built-in test-pattern camera's pictures and sound. A frame is computed
// from its number alone: eight colour bars over the top two thirds, then a
// dark band with a clock (the frame's time at the frame rate) and a frame
// counter, and a white block that moves four pixels per frame along the
// bottom. The sound is a 1 kHz sine tone at half scale.

#include <cstdint>
#include <vector>

#include "platform/capturetypes.h"

namespace vandrex {

// Bar colours from left to right, as red, green, blue.
struct TPatternColor {
    std::uint8_t Red, Green, Blue;
};
inline constexpr TPatternColor kPatternBars[8] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
};

// Sizes the pattern camera offers (and its format dialog lists); the first
// 320 x 240 is its size after connecting.
const std::vector<TFrameSize>& TestPatternSizes();

// Fills frame (already sized, any size from 16 x 16) with picture `number`
// at `fps` frames per second; brightness (-64..64) is added to every
// component.
void RenderTestPattern(TVideoFrame& frame, std::int64_t number, double fps, int brightness = 0);

// The columns [first, last) of colour bar i in a picture `width` wide.
inline int PatternBarLeft(int i, int width) { return i * width / 8; }

// Appends `count` samples of the tone starting at sample `first`, interleaved
// for `channels`, as unsigned 8-bit or signed 16-bit little-endian values.
void AppendTestTone(std::vector<std::uint8_t>& out, std::int64_t first, int count, int rate,
                    int channels, int bits);

}  // namespace vandrex
