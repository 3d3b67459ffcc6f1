#pragma once
// TBmpToJpeg: writes the bitmap of an image control's picture as a JPEG file
// (quality 90, baseline, colour), aside and then renamed into place, so a
// failed conversion leaves the previous file untouched.

#include <string>

#include "imaging/bitmap.h"

namespace vandrex {

class TBmpToJpeg {
public:
    // The picture of the image control (not owned); BmpFile is kept for the
    // component's published settings, the conversion reads Image.
    const TBitmap* Image = nullptr;
    std::string BmpFile;
    std::string JpegFile;

    // EInvalidGraphic without a picture; EInOutError when the file cannot
    // be written. JpegFile is matched without regard to case.
    void Convert() const;
};

}  // namespace vandrex
