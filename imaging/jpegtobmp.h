#pragma once
// TJpegToBmp: turns JpegFile into the 24-bit bitmap file BmpFile (the data
// phone shows a received "Snapshot.jpg" this way). The bitmap is written
// aside and renamed, so a JPEG that does not decode leaves no broken bitmap.

#include <string>

#include "imaging/bitmap.h"

namespace vandrex {

class TJpegToBmp {
public:
    const TBitmap* Image = nullptr;  // published for symmetry; not used
    std::string BmpFile;
    std::string JpegFile;

    // EInvalidGraphic("unrecognized JPEG") for a missing or malformed JPEG;
    // EInOutError when the bitmap cannot be written. Both names are matched
    // without regard to case.
    void Convert() const;
};

}  // namespace vandrex
