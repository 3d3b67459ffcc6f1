#pragma once
// JPEG files through libjpeg: written with quality 90, baseline, colour;
// read (colour, grayscale or CMYK) into a 24-bit picture.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace vandrex {

// Throws EInvalidGraphic("unrecognized JPEG") for malformed, truncated or too
// large data (corrupt-data warnings of the decoder count as failures); never
// reads outside data.
TBitmap DecodeJpeg(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& picture, int quality = 90);

TBitmap LoadJpegFile(const std::string& path);
void SaveJpegFile(const std::string& path, const TBitmap& picture);

}  // namespace vandrex
