#pragma once
// Test helpers: decoding GIF files with giflib and reading raw code streams;
// the generated pictures come along from testpictures.h.

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "imaging/bitmap.h"
#include "testpictures.h"

namespace vandrex::test {

struct TDecodedFrame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Interlaced = false;
    int GraphicControl = -1;  // packed byte of the frame's graphic control block
    std::vector<TRGB> Pixels;  // row-major, through the frame's colour table
    std::vector<std::uint8_t> Indices;
};

struct TDecodedGif {
    int ScreenWidth = 0, ScreenHeight = 0;
    std::vector<TDecodedFrame> Frames;
};

// Decodes with giflib's DGifSlurp; fails the test on a giflib error.
TDecodedGif DecodeWithGiflib(std::span<const std::uint8_t> file);

// The data sub-blocks that start at pos (the minimum-code-size byte): the
// concatenated bytes and every block's length.
struct TSubBlocks {
    int MinCodeSize = 0;
    std::vector<std::uint8_t> Data;
    std::vector<int> Lengths;
};
TSubBlocks ReadSubBlocks(std::span<const std::uint8_t> file, std::size_t pos);

// Codes of a minimum-code-size-8 stream, read with the code-size rule every
// decoder uses; with their bit widths.
struct TCode {
    int Code;
    int Bits;
};
std::vector<TCode> ReadCodes(const std::vector<std::uint8_t>& data);

// Offset of the image data of a single-image file written by EncodeGif.
constexpr std::size_t kSingleImageData = 13 + 768 + 8 + 10;

int CountOccurrences(std::span<const std::uint8_t> hay, const char* needle);

}  // namespace vandrex::test
