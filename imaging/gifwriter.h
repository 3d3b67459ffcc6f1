#pragma once
// The GIF writer: single-image "GIF89a" files and frame insertion into an
// existing file, with pixel data in LZW coding (hashed string table) or in the
// run-length coding that never builds strings of different pixels. Both
// codings use a minimum code size of 8 and are read by every GIF decoder.

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace vandrex {

// Where and how one image is placed in a GIF file.
struct TGifFrameOptions {
    bool Interlaced = false;  // honoured by the LZW coding only
    int Left = 0;
    int Top = 0;
    bool Transparent = false;  // transparent colour index 0
    int Delay = 0;             // hundredths of a second
};

// Frame insertion adds the requested screen size (-1 = grow to fit the
// frame, anything else keeps the old size) and the frame position.
struct TGifInsertOptions : TGifFrameOptions {
    int WidthRequest = -1;
    int HeightRequest = -1;
    int Position = 0;
};

// LZW coder: appends the minimum-code-size byte 8, the data sub-blocks (at
// most 254 bytes each) and the terminator. pixels holds width * height
// indices, row-major; interlaced codes the rows in the four GIF passes.
void WriteLzwImageData(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                       int height, bool interlaced);

// Run-length coder ("Non LZW"): the same framing with sub-blocks of at most
// 255 bytes; rows are always coded in order.
void WriteRunLengthImageData(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                             int height);

// A complete single-image file: the picture is quantized to at most 255
// colours (indices 1..255), palette entry 0 is the background. Interlace is
// used only with LZW.
std::vector<std::uint8_t> EncodeGif(const TBitmap& picture, TRGB background, bool useLzw,
                                    const TGifFrameOptions& options);

// Rebuilds `file` with the picture inserted as a new frame at
// options.Position (counted in images; the number of images in the file
// appends it), the screen size updated and one endless "NETSCAPE2.0" loop
// extension right after the global colour table. imageCount receives the
// number of images in the result. Throws EInvalidGraphic("unrecognized GIF")
// for anything that is not a well-formed GIF block sequence; never reads
// outside `file`.
std::vector<std::uint8_t> InsertGifFrame(std::span<const std::uint8_t> file, const TBitmap& picture,
                                         TRGB background, bool useLzw,
                                         const TGifInsertOptions& options,
                                         int* imageCount = nullptr);

// Number of images in a GIF file, by the same block walk as the insertion.
int CountGifImages(std::span<const std::uint8_t> file);

}  // namespace vandrex
