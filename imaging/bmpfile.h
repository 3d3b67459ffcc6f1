#pragma once
// Windows bitmap files. Loading takes 1, 4 and 8 bits per pixel with a
// palette (uncompressed or RLE), 16 and 32 bits (default or bit-field
// layouts) and 24 bits, bottom-up or top-down, and makes the picture 24-bit.
// Saving writes a picture of exactly two colours as a 1-bit file and any other
// as 24-bit, bottom-up.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace vandrex {

// Throws EInvalidGraphic("unrecognized BMP") for anything malformed,
// truncated or too large; never reads outside data.
TBitmap DecodeBmp(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodeBmp(const TBitmap& picture);

// A file that cannot be read counts as unrecognized too.
TBitmap LoadBmpFile(const std::string& path);
void SaveBmpFile(const std::string& path, const TBitmap& picture);

}  // namespace vandrex
